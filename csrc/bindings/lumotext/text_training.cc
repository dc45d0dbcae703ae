// Training a BM25 encoder on raw texts cut by the segmentation engine, with
// no Python object per word: each worker cuts its texts into code point
// slices, encodes each word's UTF-8 (the token text a str token trains
// under) and trains an encoder of its own; the workers' encoders are then
// merged, which gives exactly the statistics of training the texts one by
// one in order.
#include <Python.h>
#include <pybind11/pybind11.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "bindings/lumotext/engine_texts.h"
#include "bindings/lumotext/registration.h"
#include "bindings/lumotext/text_tokens.h"
#include "bm25/bm25_encoder.h"

namespace py = pybind11;

namespace lumo::bindings::companion {

namespace {

using typing::text::BM25Encoder;

// One worker's encoder, and the room it cuts texts in.
struct TextTrainer {
  explicit TextTrainer(const BM25Encoder& like) : encoder(like.model().b(), like.model().k1(), like.idf()) {}
  BM25Encoder encoder;
  TextTokens tokens;
};

// Trains encoder on the cut of every text (mode as Engine.cut takes it), one
// document per text, on `threads` workers. All or nothing: a text that is
// not a str (TypeError), has a lone surrogate or is too long (ValueError),
// an interrupt, or a counter that would overflow leaves the encoder as it
// was. Errors name texts[first_index + i].
void TrainTexts(BM25Encoder& encoder, const Jieba& engine, const py::handle& texts, int mode_number,
                std::size_t threads, std::size_t first_index) {
  const Mode mode = ToMode(mode_number);
  const TextBatch batch(texts, first_index);
  const std::size_t workers = batch.Workers(threads);
  if (batch.sources().empty()) return;
  std::vector<TextTrainer> trainers;
  trainers.reserve(workers);
  for (std::size_t k = 0; k < workers; ++k) trainers.emplace_back(encoder);
  batch.Run(trainers.size(), [&](std::uint32_t worker, std::size_t i) {
    TextTrainer& trainer = trainers[worker];
    trainer.encoder.Train(trainer.tokens.Cut(engine, mode, batch.sources()[i]));
  });
  {
    py::gil_scoped_release release;
    for (std::size_t k = 1; k < trainers.size(); ++k) trainers[0].encoder.Merge(trainers[k].encoder);
  }
  // The caller's encoder changes with the lock held, so that no other thread
  // sees it half merged; Merge leaves it unchanged when it throws.
  encoder.Merge(trainers[0].encoder);
}

}  // namespace

void RegisterTextTraining(py::module_& module) {
  module.def("train_texts", &TrainTexts, py::arg("encoder"), py::arg("engine"), py::arg("texts"), py::arg("mode"),
             py::arg("threads"), py::arg("first_index"),
             "Trains encoder on the cut of every text, one document per text, on `threads` native threads;\n"
             "the encoder is left unchanged when any text fails.");
}

}  // namespace lumo::bindings::companion
