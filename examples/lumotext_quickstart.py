"""Quickstart of lumotext: segment Chinese text with the default data, cut a
batch on all cores, find keywords, and rank documents for a query with BM25
sparse vectors built from the segmented words."""

import unicodedata

import lumotext
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


with open(pylumotext_data.paths()["stop_word_path"], encoding="utf-8") as handle:
    STOP_WORDS = set(handle.read().splitlines())


def is_word(word: str) -> bool:
    """False for stop words, white space and punctuation."""
    return word not in STOP_WORDS and not all(c.isspace() or unicodedata.category(c)[0] in "PS" for c in word)


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
    tokenised = [[w for w in words if is_word(w)] for words in segmenter.cut_batch(DOCUMENTS)]
    bm25 = pylumotext.BM25()
    for tokens in tokenised:
        bm25.train(tokens)
    vectors = [bm25.encode_document(tokens) for tokens in tokenised]
    query = bm25.encode_query([w for w in segmenter.cut(QUERY) if is_word(w)])

    def score(vector: dict[str, float]) -> float:
        return sum(weight * vector.get(token, 0.0) for token, weight in query.items())

    print(f"query: {QUERY}  ->  {' / '.join(query)}")
    ranked = sorted(range(len(DOCUMENTS)), key=lambda i: score(vectors[i]), reverse=True)
    for rank, i in enumerate(ranked, 1):
        print(f"{rank}. {score(vectors[i]):.4f}  {DOCUMENTS[i]}")


if __name__ == "__main__":
    main()
