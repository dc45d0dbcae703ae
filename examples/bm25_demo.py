"""Ranks a small corpus against a query with BM25 sparse vectors.

Trains a model on the documents below, encodes each document and the query,
and prints the documents by the dot product of the query vector with the
document vector, best first. Run it after installing the package:

    python3 examples/bm25_demo.py [query words ...]
"""

import re
import sys

from pylumotext import BM25

CORPUS = [
    "The quick brown fox jumps over the lazy dog.",
    "A fox is a small omnivorous mammal with a bushy tail.",
    "Dogs are loyal companions and were the first domesticated animals.",
    "The stock market rallied as technology shares rose sharply.",
    "Brown bears and red foxes share the northern forests.",
    "Search engines rank documents by how well they match a query.",
    "BM25 weighs query terms by rarity and saturates term frequency.",
    "A lazy afternoon in the park with a dog and a good book.",
]

DEFAULT_QUERY = "lazy brown fox"


def tokenize(text):
    """Lower-cased runs of letters and digits."""
    return re.findall(r"[a-z0-9]+", text.lower())


def dot(query_vector, document_vector):
    return sum(weight * document_vector.get(token, 0.0) for token, weight in query_vector.items())


def main(argv):
    query = " ".join(argv) if argv else DEFAULT_QUERY
    model = BM25()
    documents = [tokenize(text) for text in CORPUS]
    for tokens in documents:
        model.train(tokens)

    query_vector = model.encode_query(tokenize(query))
    scores = [(dot(query_vector, model.encode_document(tokens)), text)
              for tokens, text in zip(documents, CORPUS)]
    scores.sort(key=lambda pair: pair[0], reverse=True)

    print(f"query: {query}")
    print("query vector: " + ", ".join(f"{token}={weight:.3f}" for token, weight in query_vector.items()))
    for rank, (score, text) in enumerate(scores, start=1):
        print(f"{rank}. {score:.4f}  {text}")


if __name__ == "__main__":
    main(sys.argv[1:])
