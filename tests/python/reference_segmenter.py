"""A small pure-Python segmenter that follows the native engine step by step.

It reads the same five data files the same way (line splitting, atof/atoi
number reading, log weights, median user weight) and runs the same
max-probability, HMM and mixed algorithms with the same tie rules, so on
well-formed UTF-8 input it returns exactly the words of the native `Jieba`.
It serves two purposes: tuning the default data before a native build is at
hand, and a differential test against the native class. It is slow and is
not part of the installed package.
"""

from __future__ import annotations

import math
import re

MIN_LOG_PROB = -3.14e100
MAX_WORD_RUNES = 512
SEPARATORS = frozenset((0x20, 0x09, 0x0A, 0xFF0C, 0x3002))
STATE_B, STATE_E, STATE_M, STATE_S = 0, 1, 2, 3
STATUS_SUM = 4
_POSIX_SPACE = b" \t\n\v\f\r"

_FLOAT_PREFIX = re.compile(
    rb"[ \t\n\v\f\r]*([+-]?(?:"
    rb"0[xX](?:[0-9a-fA-F]+\.?[0-9a-fA-F]*|\.[0-9a-fA-F]+)(?:[pP][+-]?[0-9]+)?"
    rb"|(?:[0-9]+\.?[0-9]*|\.[0-9]+)(?:[eE][+-]?[0-9]+)?"
    rb"|[iI][nN][fF](?:[iI][nN][iI][tT][yY])?|[nN][aA][nN]))")
_INT_PREFIX = re.compile(rb"[ \t\n\v\f\r]*([+-]?[0-9]+)")


class DataError(Exception):
    """A data file that the native loaders would stop on with a FATAL line."""


def atof(field: bytes) -> float:
    """Reads the longest floating-point prefix of a field; 0.0 when none."""
    match = _FLOAT_PREFIX.match(field)
    if not match:
        return 0.0
    text = match.group(1)
    body = text.lstrip(b"+-")
    if body[:2].lower() == b"0x":
        value = float.fromhex(body.decode("ascii"))
        return -value if text.startswith(b"-") else value
    return float(text)


def atoi(field: bytes) -> int:
    """Reads the leading decimal integer of a field; 0 when none."""
    match = _INT_PREFIX.match(field)
    return int(match.group(1)) if match else 0


def natural_log(value: float) -> float:
    """The C library's log: -inf for 0, nan below 0, instead of raising."""
    if value > 0.0 or math.isnan(value):
        return math.log(value)
    return -math.inf if value == 0.0 else math.nan


def decode_code_points(data: bytes) -> list[int] | None:
    """Lenient UTF-8 decoding of the engine: only lead bytes are checked."""
    points: list[int] = []
    pos, size = 0, len(data)
    while pos < size:
        lead, rest = data[pos], size - pos
        if lead < 0x80:
            points.append(lead)
            pos += 1
        elif lead <= 0xDF and rest >= 2:
            points.append(((lead & 0x1F) << 6) | (data[pos + 1] & 0x3F))
            pos += 2
        elif lead <= 0xEF and rest >= 3:
            points.append(((lead & 0x0F) << 12) | ((data[pos + 1] & 0x3F) << 6)
                          | (data[pos + 2] & 0x3F))
            pos += 3
        elif lead <= 0xF7 and rest >= 4:
            points.append(((lead & 0x07) << 18) | ((data[pos + 1] & 0x3F) << 12)
                          | ((data[pos + 2] & 0x3F) << 6) | (data[pos + 3] & 0x3F))
            pos += 4
        else:
            return None
    return points


def split_on_any(text: bytes, separators: bytes) -> list[bytes]:
    """Splits at every separator byte; no empty last piece after a trailing one."""
    pieces: list[bytes] = []
    start = 0
    while start < len(text):
        cut = min((p for p in (text.find(bytes((s,)), start) for s in separators) if p >= 0),
                  default=-1)
        if cut < 0:
            pieces.append(text[start:])
            break
        pieces.append(text[start:cut])
        start = cut + 1
    return pieces


def read_lines(path: str) -> list[bytes]:
    """Lines of a data file without their line feed (and a CR right before it)."""
    try:
        with open(path, "rb") as handle:
            data = handle.read()
    except OSError as error:
        raise DataError(f"open {path} failed") from error
    lines = data.split(b"\n")
    if lines and lines[-1] == b"":
        lines.pop()
    return [line[:-1] if line.endswith(b"\r") else line for line in lines]


class Dictionary:
    """Main and user dictionary entries with their prefix tree."""

    def __init__(self, dict_path: str, user_dict_path: str) -> None:
        entries: list[tuple[list[int], float]] = []
        for line in read_lines(dict_path):
            fields = split_on_any(line, b" ")
            if len(fields) != 3:
                raise DataError(f"split result illegal, line:{line!r}")
            entries.append((decode_code_points(fields[0]) or [], atof(fields[1])))
        if not entries:
            raise DataError("empty main dictionary")
        total = 0.0
        for _, frequency in entries:
            total += frequency
        entries = [(word, natural_log(frequency / total)) for word, frequency in entries]
        ordered = sorted(weight for _, weight in entries)
        self.min_weight = ordered[0]
        user_default = ordered[len(ordered) // 2]
        self.user_single_runes: set[int] = set()
        if user_dict_path:
            for path in split_on_any(user_dict_path.encode("utf-8"), b"|;"):
                for line in read_lines(path.decode("utf-8", "surrogateescape")):
                    if line:
                        entries.append(self._user_entry(line, total, user_default))
        self.root: dict[int, list] = {}
        for word, weight in entries:
            self._insert(word, weight)

    def _user_entry(self, line: bytes, total: float, default: float) -> tuple[list[int], float]:
        fields = split_on_any(line, b" ")
        if len(fields) not in (1, 2, 3):
            return [], 0.0
        word = decode_code_points(fields[0]) or []
        weight = natural_log(atoi(fields[1]) / total) if len(fields) == 3 else default
        if len(word) == 1:
            self.user_single_runes.add(word[0])
        return word, weight

    def _insert(self, word: list[int], weight: float) -> None:
        if not word:
            return
        children, node = self.root, None
        for point in word:
            node = children.get(point)
            if node is None:
                node = children[point] = [{}, None]
            children = node[0]
        node[1] = (len(word), weight)

    def lookup(self, points: list[int]) -> tuple[int, float] | None:
        """The entry (rune count, weight) of exactly this word, or None."""
        children, node = self.root, None
        for point in points:
            node = children.get(point)
            if node is None:
                return None
            children = node[0]
        return node[1] if node is not None else None

    def lattice(self, points: list[int]) -> list[list[tuple[int, tuple[int, float] | None]]]:
        """Per position, the single-rune candidate and every longer word by end."""
        cells = []
        size = len(points)
        for i in range(size):
            node = self.root.get(points[i])
            cell = [(i, node[1] if node is not None else None)]
            j = i + 1
            while j < size and j - i + 1 <= MAX_WORD_RUNES and node is not None:
                node = node[0].get(points[j])
                if node is None:
                    break
                if node[1] is not None:
                    cell.append((j, node[1]))
                j += 1
            cells.append(cell)
        return cells


class HmmModel:
    """Start, transition and emission log probabilities of the four states."""

    def __init__(self, hmm_path: str) -> None:
        significant = (line for line in (raw.strip(_POSIX_SPACE) for raw in read_lines(hmm_path))
                       if line and not line.startswith(b"#"))
        rows = []
        for _ in range(5):
            line = next(significant, None)
            if line is None:
                raise DataError("GetLine(ifile, line)")
            fields = split_on_any(line, b" ")
            if len(fields) != STATUS_SUM:
                raise DataError("tmp.size() == STATUS_SUM")
            rows.append([atof(field) for field in fields])
        self.start_prob = rows[0]
        self.trans_prob = rows[1:]
        self.emissions: list[dict[int, float]] = []
        for _ in range(STATUS_SUM):
            line = next(significant, None)
            if line is None:
                raise DataError("GetLine(ifile, line)")
            self.emissions.append(self._emission_table(line))

    @staticmethod
    def _emission_table(line: bytes) -> dict[int, float]:
        table: dict[int, float] = {}
        for item in split_on_any(line, b","):
            parts = split_on_any(item, b":")
            if len(parts) != 2:
                raise DataError("emitProb illegal.")
            points = decode_code_points(parts[0])
            if points is None or len(points) != 1:
                raise DataError("TransCode failed.")
            table[points[0]] = atof(parts[1])
        return table


def _is_letter(point: int) -> bool:
    return 0x41 <= point <= 0x5A or 0x61 <= point <= 0x7A


def _is_digit(point: int) -> bool:
    return 0x30 <= point <= 0x39


class ReferenceSegmenter:
    """Mixed and search-mode segmentation over the five data files."""

    def __init__(self, dict_path: str, hmm_path: str, user_dict_path: str,
                 idf_path: str, stop_word_path: str) -> None:
        self.dictionary = Dictionary(dict_path, user_dict_path)
        self.model = HmmModel(hmm_path)
        for path in (idf_path, stop_word_path):
            read_lines(path)  # both must open, as for the native engine

    def cut(self, sentence: str) -> list[str]:
        return [sentence[first:last + 1] for first, last in self._mixed_ranges(sentence)]

    def cut_for_search(self, sentence: str) -> list[str]:
        words = []
        for first, last in self._mixed_ranges(sentence):
            length = last - first + 1
            for span in (2, 3):
                if length > span:
                    for offset in range(first, last - span + 2):
                        if self.dictionary.lookup(
                                [ord(c) for c in sentence[offset:offset + span]]) is not None:
                            words.append(sentence[offset:offset + span])
            words.append(sentence[first:last + 1])
        return words

    def _mixed_ranges(self, sentence: str) -> list[tuple[int, int]]:
        points = [ord(c) for c in sentence]
        ranges: list[tuple[int, int]] = []
        begin = 0
        for pos, point in enumerate(points):
            if point in SEPARATORS:
                if begin < pos:
                    self._mixed_range(points, begin, pos, ranges)
                ranges.append((pos, pos))
                begin = pos + 1
        if begin < len(points):
            self._mixed_range(points, begin, len(points), ranges)
        return ranges

    def _mixed_range(self, points: list[int], begin: int, end: int,
                     out: list[tuple[int, int]]) -> None:
        words = self._max_prob_range(points, begin, end)
        user_singles = self.dictionary.user_single_runes
        i = 0
        while i < len(words):
            first, last = words[i]
            if first != last or points[first] in user_singles:
                out.append(words[i])
                i += 1
                continue
            j = i
            while j < len(words) and words[j][0] == words[j][1] \
                    and points[words[j][0]] not in user_singles:
                j += 1
            self._hmm_range(points, first, words[j - 1][1] + 1, out)
            i = j

    def _max_prob_range(self, points: list[int], begin: int, end: int) -> list[tuple[int, int]]:
        cells = self.dictionary.lattice(points[begin:end])
        size = len(cells)
        best_weight = [0.0] * size
        best_entry: list[tuple[int, float] | None] = [None] * size
        min_weight = self.dictionary.min_weight
        for i in range(size - 1, -1, -1):
            best, chosen = MIN_LOG_PROB, None
            for j, entry in cells[i]:
                tail = best_weight[j + 1] if j + 1 < size else 0.0
                value = (entry[1] if entry is not None else min_weight) + tail
                if value > best:
                    best, chosen = value, entry
            best_weight[i], best_entry[i] = best, chosen
        words = []
        i = 0
        while i < size:
            length = best_entry[i][0] if best_entry[i] is not None else 1
            words.append((begin + i, begin + i + length - 1))
            i += length
        return words

    def _hmm_range(self, points: list[int], begin: int, end: int,
                   out: list[tuple[int, int]]) -> None:
        left = right = begin
        while right < end:
            if points[right] >= 0x80:
                right += 1
                continue
            if left < right:
                self._model_cut(points, left, right, out)
            left = right
            stop = self._letter_run_end(points, left, end)
            if stop == left:
                stop = self._number_run_end(points, left, end)
            if stop == left:
                stop = left + 1
            out.append((left, stop - 1))
            left = right = stop
        if left < right:
            self._model_cut(points, left, right, out)

    @staticmethod
    def _letter_run_end(points: list[int], start: int, end: int) -> int:
        if not _is_letter(points[start]):
            return start
        pos = start + 1
        while pos < end and (_is_letter(points[pos]) or _is_digit(points[pos])):
            pos += 1
        return pos

    @staticmethod
    def _number_run_end(points: list[int], start: int, end: int) -> int:
        if not _is_digit(points[start]):
            return start
        pos = start + 1
        while pos < end and (_is_digit(points[pos]) or points[pos] == 0x2E):
            pos += 1
        return pos

    def _model_cut(self, points: list[int], first: int, last: int,
                   out: list[tuple[int, int]]) -> None:
        states = self.decode_states(points[first:last])
        start = first
        for offset, state in enumerate(states):
            if state in (STATE_E, STATE_S):
                out.append((start, first + offset))
                start = first + offset + 1

    def decode_states(self, points: list[int]) -> list[int]:
        """Viterbi over B, E, M, S with the engine's strict comparisons and ties."""
        emissions, trans = self.model.emissions, self.model.trans_prob
        weight = [[emissions[y].get(points[0], MIN_LOG_PROB) + self.model.start_prob[y]
                   for y in range(STATUS_SUM)]]
        back = [[-1] * STATUS_SUM]
        for x in range(1, len(points)):
            previous = weight[-1]
            row, pointers = [], []
            for y in range(STATUS_SUM):
                best, pointer = MIN_LOG_PROB, STATE_E
                emit = emissions[y].get(points[x], MIN_LOG_PROB)
                for p in range(STATUS_SUM):
                    value = (trans[p][y] + previous[p]) + emit
                    if value > best:
                        best, pointer = value, p
                row.append(best)
                pointers.append(pointer)
            weight.append(row)
            back.append(pointers)
        state = STATE_E if weight[-1][STATE_E] >= weight[-1][STATE_S] else STATE_S
        states = [0] * len(points)
        for x in range(len(points) - 1, -1, -1):
            states[x] = state
            state = back[x][state]
        return states
