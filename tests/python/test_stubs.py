"""The shipped type stubs name every public method of the module, with the
module's overload counts and keyword names."""

from __future__ import annotations

import ast
import pathlib
import re

import pytest

import pylumotext

CLASSES = ("BM25", "Jieba")


def stub_path() -> pathlib.Path:
    installed = pathlib.Path(pylumotext.__file__).with_name("pylumotext-stubs") / "__init__.pyi"
    if installed.exists():
        return installed
    return pathlib.Path(__file__).resolve().parents[2] / "python" / "pylumotext-stubs" / "__init__.pyi"


def stub_methods() -> dict[str, dict[str, list[ast.FunctionDef]]]:
    tree = ast.parse(stub_path().read_text(encoding="utf-8"))
    classes: dict[str, dict[str, list[ast.FunctionDef]]] = {}
    for node in tree.body:
        if isinstance(node, ast.ClassDef):
            methods: dict[str, list[ast.FunctionDef]] = {}
            for item in node.body:
                if isinstance(item, ast.FunctionDef):
                    methods.setdefault(item.name, []).append(item)
            classes[node.name] = methods
    return classes


def runtime_methods(cls: type) -> list[str]:
    names = [name for name in vars(cls) if not name.startswith("_")]
    return sorted(names + ["__init__"])


SIGNATURE = re.compile(r"^(?:\d+\. )?(\w+)\((.*)\) -> (.+)$")


def runtime_signatures(function: object) -> list[list[str]]:
    """The argument names after self of every overload in the docstring."""
    signatures = []
    for line in (function.__doc__ or "").splitlines():
        match = SIGNATURE.match(line.strip())
        if not match or match.group(2).startswith("*args"):
            continue
        arguments = [part.split(":")[0].strip() for part in match.group(2).split(", ")]
        signatures.append(arguments[1:])
    return signatures


def stub_arguments(function: ast.FunctionDef) -> tuple[list[str], list[str]]:
    """(positional-only names, other names) after self."""
    positional_only = [a.arg for a in function.args.posonlyargs]
    others = [a.arg for a in function.args.args]
    if positional_only:
        positional_only = positional_only[1:]
    else:
        others = others[1:]
    return positional_only, others


def test_stubs_name_exactly_the_classes() -> None:
    assert sorted(stub_methods()) == sorted(CLASSES)
    assert sorted(n for n in vars(pylumotext) if not n.startswith("_")) == sorted(CLASSES)


@pytest.mark.parametrize("class_name", CLASSES)
def test_stubs_name_every_public_method(class_name: str) -> None:
    assert sorted(stub_methods()[class_name]) == runtime_methods(getattr(pylumotext, class_name))


@pytest.mark.parametrize(
    ("class_name", "method"),
    [(c, m) for c in CLASSES for m in runtime_methods(getattr(pylumotext, c))],
)
def test_overloads_and_argument_names_agree(class_name: str, method: str) -> None:
    stubs = stub_methods()[class_name][method]
    runtime = runtime_signatures(getattr(getattr(pylumotext, class_name), method))
    assert len(stubs) == len(runtime)
    if len(stubs) > 1:
        assert all(any(isinstance(d, ast.Name) and d.id == "overload" for d in s.decorator_list) for s in stubs)
    for stub, names in zip(stubs, runtime):
        positional_only, others = stub_arguments(stub)
        # Arguments that pybind11 names argN have no keyword: positional-only
        # in the stub; named ones keep their names.
        assert len(positional_only) + len(others) == len(names)
        assert [n for n in names if not re.fullmatch(r"arg\d+", n)] == others
