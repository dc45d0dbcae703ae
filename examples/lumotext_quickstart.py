"""Quickstart of lumotext: segment Chinese text with the default data, cut a
batch on all cores, find keywords, and rank documents for a query with BM25
sparse vectors built from the segmented words."""

import lumotext
from quickstart import DOCUMENTS, QUERY, SENTENCES, is_word, load_stop_words, rank_documents  # the same examples


def main() -> None:
    # The bundled default data; any file can be replaced by keyword, and extra
    # words added with user_words.
    segmenter = lumotext.Segmenter(user_words=["云原生"])

    for sentence in SENTENCES:
        print("text:    ", sentence)
        print("cut:     ", " / ".join(segmenter.cut(sentence)))
        print("search:  ", " / ".join(segmenter.cut_for_search(sentence)))
        print("tokens:  ", segmenter.tokenize(sentence)[:4], "...")
        print("keywords:", segmenter.extract_keywords(sentence, top_k=3))
        print()

    # One call for the whole collection, on native threads; same words as cut.
    stop_words = load_stop_words()
    tokenised = [[w for w in words if is_word(w, stop_words)] for words in segmenter.cut_batch(DOCUMENTS)]
    rank_documents(tokenised, [w for w in segmenter.cut(QUERY) if is_word(w, stop_words)])


if __name__ == "__main__":
    main()
