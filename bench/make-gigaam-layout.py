#!/usr/bin/python3
"""Writes a transducer whose encoder does the work of GigaAM-v3's, for timing: the tests' tiny transducer
(tests/support/make-tiny-transducer.py: same inputs, outputs and text) with a conformer of GigaAM-v3's layout
beside its encoder, random weights, quantized to int8 the way the published encoder.int8.onnx is (dynamic
quantization: MatMulInteger on int8 weights). Its result is multiplied by zero into the encoder's output, so the
words stay the tiny one's while every frame costs what a real frame costs.
  make-gigaam-layout.py DIRECTORY [LAYERS]      (16 layers of width 768, 16 heads, feed-forward 3072, kernel 5)"""
import importlib.util
import os
import sys

import numpy as np
from onnx import TensorProto, helper, save

here = os.path.dirname(os.path.abspath(__file__))
spec = importlib.util.spec_from_file_location(
    "tiny", os.path.join(here, "..", "tests", "support", "make-tiny-transducer.py"))
tiny = importlib.util.module_from_spec(spec)
spec.loader.exec_module(tiny)

WIDTH, HEADS, FEED_FORWARD, KERNEL, FEATURES = 768, 16, 3072, 5, 64
random = np.random.default_rng(7)


class Graph:
    def __init__(self):
        self.nodes, self.initializers, self.count = [], [], 0

    def name(self, stem):
        self.count += 1
        return f"{stem}_{self.count}"

    def constant(self, array, stem="c"):
        name = self.name(stem)
        self.initializers.append(tiny.constant(name, array))
        return name

    def op(self, kind, inputs, outputs=1, **attributes):
        names = [self.name(kind) for _ in range(outputs)]
        self.nodes.append(helper.make_node(kind, inputs, names, **attributes))
        return names[0] if outputs == 1 else names

    def linear(self, x, inputs, outputs):
        """x (frames, inputs) times int8 weights, as onnxruntime's dynamic quantization writes it."""
        weights = random.integers(-127, 128, (inputs, outputs), dtype=np.int8)
        quantized, scale, zero = self.op("DynamicQuantizeLinear", [x], outputs=3)
        product = self.op("MatMulInteger", [quantized, self.constant(weights, "w"), zero])
        scaled = self.op("Mul", [self.op("Cast", [product], to=TensorProto.FLOAT), scale])
        scaled = self.op("Mul", [scaled, self.constant(np.float32(1e-3))])
        return self.op("Add", [scaled, self.constant(np.zeros(outputs, np.float32), "b")])

    def norm(self, x):
        return self.op("LayerNormalization", [x, self.constant(np.ones(WIDTH, np.float32)),
                                              self.constant(np.zeros(WIDTH, np.float32))], axis=-1)

    def swish(self, x):
        return self.op("Mul", [x, self.op("Sigmoid", [x])])

    def feed_forward(self, x):
        inner = self.swish(self.linear(self.norm(x), WIDTH, FEED_FORWARD))
        half = self.op("Mul", [self.linear(inner, FEED_FORWARD, WIDTH), self.constant(np.float32(0.5))])
        return self.op("Add", [x, half])

    def attention(self, x):
        qkv = self.linear(self.norm(x), WIDTH, 3 * WIDTH)
        heads = self.op("Reshape", [qkv, self.constant(np.array([-1, 3, HEADS, WIDTH // HEADS], np.int64))])
        heads = self.op("Transpose", [heads], perm=[1, 2, 0, 3])  # (3, heads, frames, size)
        q, k, v = self.op("Split", [heads, self.constant(np.array([1, 1, 1], np.int64))], outputs=3, axis=0)
        q, k, v = (self.op("Squeeze", [t, self.constant(np.array([0], np.int64))]) for t in (q, k, v))
        scores = self.op("MatMul", [q, self.op("Transpose", [k], perm=[0, 2, 1])])
        weights = self.op("Softmax", [self.op("Mul", [scores, self.constant(np.float32(0.144))])], axis=-1)
        mixed = self.op("Transpose", [self.op("MatMul", [weights, v])], perm=[1, 0, 2])
        mixed = self.op("Reshape", [mixed, self.constant(np.array([-1, WIDTH], np.int64))])
        return self.op("Add", [x, self.linear(mixed, WIDTH, WIDTH)])

    def convolution(self, x):
        gated = self.linear(self.norm(x), WIDTH, 2 * WIDTH)
        a, b = self.op("Split", [gated, self.constant(np.array([WIDTH, WIDTH], np.int64))], outputs=2, axis=-1)
        glu = self.op("Mul", [a, self.op("Sigmoid", [b])])
        channels = self.op("Unsqueeze", [self.op("Transpose", [glu], perm=[1, 0]),
                                         self.constant(np.array([0], np.int64))])
        depthwise = (random.standard_normal((WIDTH, 1, KERNEL)) * 0.1).astype(np.float32)
        convolved = self.op("Conv", [channels, self.constant(depthwise, "dw")], group=WIDTH,
                            pads=[KERNEL // 2, KERNEL // 2])
        frames = self.op("Transpose", [self.op("Squeeze", [convolved, self.constant(np.array([0], np.int64))])],
                         perm=[1, 0])
        return self.op("Add", [x, self.linear(self.swish(frames), WIDTH, WIDTH)])

    def subsampling(self, features):
        """Two convolutions of stride 2 over time: (1, 64, T) to (frames, 768)."""
        x = features
        for channels_in in (FEATURES, WIDTH):
            kernel = (random.standard_normal((WIDTH, channels_in, KERNEL)) * 0.02).astype(np.float32)
            x = self.swish(self.op("Conv", [x, self.constant(kernel, "sub")], strides=[2],
                                   pads=[KERNEL // 2, KERNEL // 2]))
        return self.op("Transpose", [self.op("Squeeze", [x, self.constant(np.array([0], np.int64))])], perm=[1, 0])


def encoder(layers):
    made = tiny.encoder()
    graph = Graph()
    x = graph.subsampling("audio_signal")
    for _ in range(layers):
        x = graph.feed_forward(x)
        x = graph.attention(x)
        x = graph.convolution(x)
        x = graph.norm(graph.feed_forward(x))
    nothing = graph.op("Mul", [graph.op("ReduceSum", [x], keepdims=0), graph.constant(np.float32(0))])
    # The tiny encoder's output, renamed, plus the conformer's zero.
    for node in made.graph.node:
        node.output[:] = ["tinyOutputs" if name == "outputs" else name for name in node.output]
    made.graph.node.extend(graph.nodes)
    made.graph.node.append(helper.make_node("Add", ["tinyOutputs", nothing], ["outputs"]))
    made.graph.initializer.extend(graph.initializers)
    return made


def main(directory, layers):
    os.makedirs(directory, exist_ok=True)
    tiny.main(directory, [])
    save(encoder(layers), os.path.join(directory, "encoder.int8.onnx"))


if __name__ == "__main__":
    main(sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 16)
