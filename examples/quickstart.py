"""Quickstart: segment Chinese text with the default data, then rank documents
for a query with BM25 sparse vectors built from the segmented words."""

import unicodedata

import pylumotext
import pylumotext_data

SENTENCES = [
    "今天天气很好，我们去公园散步。",
    "澳大利亚的面积约为七百七十万平方公里。",
    "他喜欢贝多芬的音乐，也常听Python 3.11的播客。",
]

DOCUMENTS = [
    "北京是中国的首都，也是全国的政治和文化中心。",
    "上海是中国最大的城市，港口和金融业都很发达。",
    "贝多芬是德国作曲家，他的交响曲和钢琴音乐至今仍在世界各地演出。",
    "熊猫生活在中国西南的山区，主要以竹子为食。",
    "北京的冬天寒冷干燥，春天常有大风。",
    "维也纳是奥地利的首都，被称为音乐之都，贝多芬曾在那里生活。",
]

QUERY = "贝多芬的音乐"


def load_stop_words() -> set[str]:
    with open(pylumotext_data.paths()["stop_word_path"], encoding="utf-8") as handle:
        return set(handle.read().splitlines())


def is_word(word: str, stop_words: set[str]) -> bool:
    """False for stop words, white space and punctuation."""
    return word not in stop_words and not all(c.isspace() or unicodedata.category(c)[0] in "PS" for c in word)


def words(segmenter: pylumotext.Jieba, text: str, stop_words: set[str]) -> list[str]:
    """The words of a text, without stop words, white space and punctuation."""
    return [w for w in segmenter.cut(text) if is_word(w, stop_words)]


def dot(query: dict[str, float], document: dict[str, float]) -> float:
    return sum(weight * document.get(token, 0.0) for token, weight in query.items())


def main() -> None:
    # The five default data files, keyed by the constructor's argument names.
    segmenter = pylumotext.Jieba(**pylumotext_data.paths())

    for sentence in SENTENCES:
        print("text:  ", sentence)
        print("cut:   ", " / ".join(segmenter.cut(sentence)))
        print("search:", " / ".join(segmenter.cut_for_search(sentence)))
        print()

    stop_words = load_stop_words()
    rank_documents([words(segmenter, document, stop_words) for document in DOCUMENTS],
                   words(segmenter, QUERY, stop_words))


def rank_documents(tokenised: list[list[str]], query_tokens: list[str]) -> None:
    """Trains BM25 on the tokenised DOCUMENTS and prints them by their score
    for the query."""
    bm25 = pylumotext.BM25()
    for tokens in tokenised:
        bm25.train(tokens)
    vectors = [bm25.encode_document(tokens) for tokens in tokenised]
    query = bm25.encode_query(query_tokens)

    print(f"query: {QUERY}  ->  {' / '.join(query)}")
    ranked = sorted(range(len(DOCUMENTS)), key=lambda i: dot(query, vectors[i]), reverse=True)
    for rank, i in enumerate(ranked, 1):
        print(f"{rank}. {dot(query, vectors[i]):.4f}  {DOCUMENTS[i]}")


if __name__ == "__main__":
    main()
