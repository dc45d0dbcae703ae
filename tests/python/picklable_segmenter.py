"""A segmenter for the cluster tests, kept apart from the test module so that
worker processes import only this when they unpickle it."""

import pylumotext


class PicklableJieba:
    """Travels as its five data paths and is rebuilt on unpickling."""

    def __init__(self, paths):
        self.paths = paths
        self.jieba = pylumotext.Jieba(**paths)

    def cut(self, text):
        return self.jieba.cut(text)

    def __reduce__(self):
        return (PicklableJieba, (self.paths,))
