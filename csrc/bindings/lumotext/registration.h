// Registrations of the lumotext._native module, called in this order by the
// module's init function. Each lives in its own file.
#pragma once

#include <pybind11/pybind11.h>

namespace lumo::bindings::companion {

// The segmenter of lumotext: batches, offsets, full mode, tags, keywords.
void RegisterSegmenter(pybind11::module_& module);

// The BM25 encoder of lumotext: batches, sparse formats, document IDF, merge.
void RegisterBM25Encoder(pybind11::module_& module);

// Training the encoder on texts cut by the engine, and their document
// vectors; after both classes.
void RegisterTextTraining(pybind11::module_& module);
void RegisterTextEncoding(pybind11::module_& module);

}  // namespace lumo::bindings::companion
