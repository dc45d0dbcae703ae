"""lumotext: Chinese segmentation and BM25 sparse vectors for retrieval pipelines.

The companion of the low-level module `pylumotext`: the same native core, with
batches on all cores, offsets, keywords, sparse formats, pickling and errors a
user can act on.
"""

from __future__ import annotations

from ._errors import DataFileError
from .bm25 import BM25Encoder
from .segmenter import Segmenter

__version__ = "0.1.0"

__all__ = ["__version__", "BM25Encoder", "DataFileError", "Segmenter"]
