"""Quickstart of lumotext: segment Chinese text with the default data, cut a
batch on all cores, find keywords, and rank documents for a query with BM25
sparse vectors built from the segmented words."""

import lumotext
import pylumotext
from quickstart import DOCUMENTS, QUERY, SENTENCES, dot, is_word, load_stop_words  # the same example texts


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
    bm25 = pylumotext.BM25()
    for tokens in tokenised:
        bm25.train(tokens)
    vectors = [bm25.encode_document(tokens) for tokens in tokenised]
    query = bm25.encode_query([w for w in segmenter.cut(QUERY) if is_word(w, stop_words)])

    print(f"query: {QUERY}  ->  {' / '.join(query)}")
    ranked = sorted(range(len(DOCUMENTS)), key=lambda i: dot(query, vectors[i]), reverse=True)
    for rank, i in enumerate(ranked, 1):
        print(f"{rank}. {dot(query, vectors[i]):.4f}  {DOCUMENTS[i]}")


if __name__ == "__main__":
    main()
