"""lumotext: Chinese segmentation and BM25 sparse vectors for retrieval pipelines.

The companion of the low-level module `pylumotext`: the same native core, with
batches on all cores, offsets, keywords, sparse formats, pickling and errors a
user can act on.
"""

from __future__ import annotations

__version__ = "0.1.0"

from lumotext.bm25 import BM25Encoder  # noqa: E402

__all__ = ["BM25Encoder", "__version__"]
