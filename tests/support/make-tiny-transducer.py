#!/usr/bin/python3
"""Writes a tiny NeMo-style transducer in ONNX (encoder.int8.onnx, decoder.onnx, joiner.onnx, tokens.txt) that the
sherpa-onnx library loads as a GigaAM model (character vocabulary, 64 features, subsampling 4). It recognizes
nothing: whatever the recording, it writes the text "привет мир" with each character on a fixed encoder frame,
and a pause of 0.72 s before the space, so a recording of at least 1.2 s gives
  tokens  "п" "р" "и" "в" "е" "т" " " "м" "и" "р"
  times   0.08 … 0.28 (0.04 apart), 1.00, 1.04, 1.08, 1.12 s.
The encoder's output is the one-hot frame number; the decoder's is the one-hot count of characters written so
far (kept in its state); the joiner gives the next character when the frame is the one scheduled for it, else
the blank.
Given sizes, the four files are made at least that large (the ONNX files with a field readers skip, sparse; the
token list with empty lines), as a check for complete downloads wants them.
  make-tiny-transducer.py DIRECTORY [ENCODER_BYTES DECODER_BYTES JOINER_BYTES TOKENS_BYTES]"""
import os
import sys

import numpy as np
from onnx import TensorProto, checker, helper, numpy_helper, save

LETTERS = "абвгдеёжзийклмнопрстуфхцчшщъыьэюя"
TEXT = "привет мир"
FRAMES = [2, 3, 4, 5, 6, 7, 25, 26, 27, 28]
MAX_FRAMES = 512
VOCABULARY = [" "] + list(LETTERS)  # the blank comes last
BLANK = len(VOCABULARY)
POSITIONS = len(TEXT) + 1


def constant(name, array):
    return numpy_helper.from_array(np.asarray(array), name)


def model(graph, metadata=None):
    built = helper.make_model(graph, opset_imports=[helper.make_opsetid("", 17)], ir_version=8)
    for key, value in (metadata or {}).items():
        entry = built.metadata_props.add()
        entry.key, entry.value = key, str(value)
    checker.check_model(built)
    return built


def encoder():
    nodes = [
        helper.make_node("Shape", ["audio_signal"], ["shape"]),
        helper.make_node("Gather", ["shape", "two"], ["frames"]),
        helper.make_node("Add", ["frames", "three"], ["padded"]),
        helper.make_node("Div", ["padded", "four"], ["outFrames"]),
        helper.make_node("Range", ["zero", "outFrames", "one"], ["positions"]),
        helper.make_node("OneHot", ["positions", "depth", "offOn"], ["oneHot"], axis=-1),
        helper.make_node("Transpose", ["oneHot"], ["transposed"], perm=[1, 0]),
        helper.make_node("Unsqueeze", ["transposed", "axisZero"], ["outputs"]),
        helper.make_node("Add", ["length", "three"], ["paddedLength"]),
        helper.make_node("Div", ["paddedLength", "four"], ["encoded_lengths"]),
    ]
    initializers = [
        constant("two", np.int64(2)), constant("three", np.int64(3)), constant("four", np.int64(4)),
        constant("zero", np.int64(0)), constant("one", np.int64(1)), constant("depth", np.int64(MAX_FRAMES)),
        constant("offOn", np.array([0, 1], np.float32)), constant("axisZero", np.array([0], np.int64)),
    ]
    graph = helper.make_graph(
        nodes, "encoder",
        [helper.make_tensor_value_info("audio_signal", TensorProto.FLOAT, [1, 64, "T"]),
         helper.make_tensor_value_info("length", TensorProto.INT64, [1])],
        [helper.make_tensor_value_info("outputs", TensorProto.FLOAT, [1, MAX_FRAMES, "U"]),
         helper.make_tensor_value_info("encoded_lengths", TensorProto.INT64, [1])],
        initializers)
    return model(graph, {"vocab_size": len(VOCABULARY), "subsampling_factor": 4, "normalize_type": "NA",
                         "pred_rnn_layers": 1, "pred_hidden": 1, "is_giga_am": 1, "feat_dim": 64,
                         "model_type": "EncDecRNNTBPEModel"})


def decoder():
    nodes = [
        helper.make_node("Add", ["states.1", "oneFloat"], ["states"]),
        helper.make_node("Min", ["states.1", "lastPosition"], ["clamped"]),
        helper.make_node("Cast", ["clamped"], ["position"], to=TensorProto.INT64),
        helper.make_node("Reshape", ["position", "single"], ["flat"]),
        helper.make_node("OneHot", ["flat", "depth", "offOn"], ["oneHot"], axis=-1),
        helper.make_node("Unsqueeze", ["oneHot", "axisTwo"], ["outputs"]),
        helper.make_node("Identity", ["target_length"], ["prednet_lengths"]),
        helper.make_node("Identity", ["onnx::Slice_3"], ["162"]),
    ]
    initializers = [
        constant("oneFloat", np.float32(1)), constant("lastPosition", np.float32(POSITIONS - 1)),
        constant("single", np.array([1], np.int64)), constant("depth", np.int64(POSITIONS)),
        constant("offOn", np.array([0, 1], np.float32)), constant("axisTwo", np.array([2], np.int64)),
    ]
    graph = helper.make_graph(
        nodes, "decoder",
        [helper.make_tensor_value_info("targets", TensorProto.INT32, [1, 1]),
         helper.make_tensor_value_info("target_length", TensorProto.INT32, [1]),
         helper.make_tensor_value_info("states.1", TensorProto.FLOAT, [1, 1, 1]),
         helper.make_tensor_value_info("onnx::Slice_3", TensorProto.FLOAT, [1, 1, 1])],
        [helper.make_tensor_value_info("outputs", TensorProto.FLOAT, [1, POSITIONS, 1]),
         helper.make_tensor_value_info("prednet_lengths", TensorProto.INT32, [1]),
         helper.make_tensor_value_info("states", TensorProto.FLOAT, [1, 1, 1]),
         helper.make_tensor_value_info("162", TensorProto.FLOAT, [1, 1, 1])],
        initializers)
    return model(graph)


def joiner():
    schedule = np.zeros((MAX_FRAMES, POSITIONS), np.float32)
    characters = np.zeros((POSITIONS, BLANK + 1), np.float32)
    for position, (character, frame) in enumerate(zip(TEXT, FRAMES)):
        schedule[frame, position] = 1
        characters[position, VOCABULARY.index(character)] = 10
    blank = np.zeros((1, BLANK + 1), np.float32)
    blank[0, BLANK] = 5
    nodes = [
        helper.make_node("Reshape", ["encoder_outputs", "frameShape"], ["frame"]),
        helper.make_node("Reshape", ["decoder_outputs", "positionShape"], ["position"]),
        helper.make_node("MatMul", ["frame", "schedule"], ["due"]),
        helper.make_node("Mul", ["due", "position"], ["dueHere"]),
        helper.make_node("ReduceSum", ["dueHere"], ["gate"], keepdims=1),
        helper.make_node("MatMul", ["position", "characters"], ["character"]),
        helper.make_node("Mul", ["character", "gate"], ["gated"]),
        helper.make_node("Add", ["gated", "blank"], ["logits"]),
    ]
    initializers = [
        constant("frameShape", np.array([1, MAX_FRAMES], np.int64)),
        constant("positionShape", np.array([1, POSITIONS], np.int64)),
        constant("schedule", schedule), constant("characters", characters), constant("blank", blank),
    ]
    graph = helper.make_graph(
        nodes, "joiner",
        [helper.make_tensor_value_info("encoder_outputs", TensorProto.FLOAT, [1, MAX_FRAMES, 1]),
         helper.make_tensor_value_info("decoder_outputs", TensorProto.FLOAT, [1, POSITIONS, 1])],
        [helper.make_tensor_value_info("logits", TensorProto.FLOAT, [1, BLANK + 1])],
        initializers)
    return model(graph)


def varint(number):
    data = b""
    while number >= 0x80:
        data += bytes([number & 0x7F | 0x80])
        number >>= 7
    return data + bytes([number])


def pad_model(path, size):
    with open(path, "ab") as model:
        payload = max(size - model.tell(), 0)
        model.write(varint(1000 << 3 | 2) + varint(payload))
        model.truncate(model.tell() + payload)


def main(directory, sizes):
    names = ["encoder.int8.onnx", "decoder.onnx", "joiner.onnx"]
    for name, made in zip(names, [encoder(), decoder(), joiner()]):
        save(made, os.path.join(directory, name))
    with open(os.path.join(directory, "tokens.txt"), "w", encoding="utf-8") as tokens:
        for number, symbol in enumerate(VOCABULARY + ["<blk>"]):
            tokens.write(f"{symbol} {number}\n")
        tokens.write("\n" * max(sizes[3] - tokens.tell(), 0) if sizes else "")
    for name, size in zip(names, sizes):
        pad_model(os.path.join(directory, name), size)


if __name__ == "__main__":
    main(sys.argv[1], [int(size) for size in sys.argv[2:6]])
