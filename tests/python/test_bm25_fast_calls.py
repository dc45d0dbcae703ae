"""BM25.train, encode_document and encode_query serve exact lists of exact str
or int on an exact BM25 directly, and every other call through the general
dispatch: both roads give the same results, and the per-thread token storage
keeps nothing of earlier calls."""

import gc
import pickle
import threading

import pytest

from pylumotext import BM25

DOCUMENTS = [["音乐", "的", "a", "音乐", "bb"], ["的", "天气", "a"], ["x" * 40, "的"]]
QUERY = ["的", "音乐", "新词", "a", "的"]


class TokenList(list):
    pass


class Text(str):
    pass


def trained(cls=BM25):
    model = cls()
    for document in DOCUMENTS:
        model.train(document)
    return model


# Each form of the query other than an exact list of exact str takes the
# general road; the dicts must be those of the plain list, keys included.
@pytest.mark.parametrize("form", [tuple, TokenList, lambda q: [t.encode() for t in q],
                                  lambda q: [Text(t) for t in q], lambda q: q[:-1] + [q[-1].encode()]])
@pytest.mark.parametrize("method", ["encode_document", "encode_query"])
def test_every_token_list_form_encodes_as_the_exact_list(form, method):
    model = trained()
    expected = getattr(model, method)(QUERY)
    assert getattr(model, method)(form(QUERY)) == expected
    assert getattr(trained(type("Derived", (BM25,), {})), method)(QUERY) == expected


@pytest.mark.parametrize("tokens, other", [
    ([3, 10**12, 3, -4], (3, 10**12, 3, -4)),
    ([True, 3], [1, 3]),  # bool items take the general road
    ([2**63, 1], None),   # past 64 bits: no overload accepts it
])
def test_integer_lists_match_the_general_road(tokens, other):
    fast, general = trained(), trained()
    if other is None:
        with pytest.raises(TypeError, match="incompatible function arguments"):
            fast.train(tokens)
        return
    fast.train(tokens)
    general.train(other)
    assert pickle.dumps(fast) == pickle.dumps(general)
    assert fast.encode_query(tokens) == general.encode_query(other)
    assert fast.encode_document(tokens) == general.encode_document(other)


def test_reused_token_storage_keeps_no_tokens_of_earlier_calls():
    # Long and short lists alternate in four threads; the general road
    # (tuples) gives the expected dicts.
    model = trained()
    queries = [[f"w{t}{i}"] * (1 + (i * 37) % 300) + ["的", f"v{i}"] for t in range(4) for i in range(40)]
    expected = [model.encode_query(tuple(query)) for query in queries]
    results = [None] * len(queries)

    def work(offset):
        for _ in range(5):
            for i in range(offset, len(queries), 4):
                results[i] = model.encode_query(queries[i])

    threads = [threading.Thread(target=work, args=(t,)) for t in range(4)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert results == expected


@pytest.mark.parametrize("enabled", [True, False])
def test_direct_calls_raise_the_general_errors_and_leave_the_collector_as_found(enabled):
    # Served, raising and declined calls alike.
    model = trained()
    was_enabled = gc.isenabled()
    gc.enable() if enabled else gc.disable()
    try:
        assert model.encode_query(QUERY) == model.encode_query(tuple(QUERY))
        model.train([5, 6])
        with pytest.raises(RuntimeError, match="^BM25 has not been initialized$"):
            BM25().encode_document(["a"])
        with pytest.raises(RuntimeError, match="^trainning tokens_vec should not be empty$"):
            BM25().train([])
        for call in (lambda: model.train(["a", 1]), lambda: model.encode_query(tokens=["a"])):
            with pytest.raises(TypeError, match="incompatible function arguments"):
                call()
        assert gc.isenabled() is enabled
    finally:
        gc.enable() if was_enabled else gc.disable()


# Calls that the direct path hands on reach the general dispatch with every
# argument in place: more than fit its inline room, keyword values behind the
# positional ones, and calls of the method taken from the class or the object.
@pytest.mark.parametrize("arguments, keywords", [((QUERY,) * 9, {}), ((QUERY,), {"tokens": QUERY}),
                                                 ((), {"arg0": QUERY})])
@pytest.mark.parametrize("method", ["train", "encode_document", "encode_query"])
def test_calls_handed_on_keep_the_general_errors(method, arguments, keywords):
    with pytest.raises(TypeError, match=rf"^{method}\(\): incompatible function arguments"):
        getattr(trained(), method)(*arguments, **keywords)


def test_the_method_taken_from_the_class_or_the_object_encodes_alike():
    model = trained()
    detached = model.encode_query
    expected = model.encode_query(QUERY)
    assert BM25.encode_query(model, QUERY) == detached(QUERY) == detached(tuple(QUERY)) == expected
    assert BM25.encode_query(model, tuple(QUERY)) == expected
