#!/usr/bin/python3
"""Writes a tiny GGUF model of the Qwen3 architecture (64 wide, 2 layers, a byte-level BPE vocabulary with ChatML
tokens and template) that llama.cpp's llama-server loads like a real one. Its attention and feed-forward
layers run with random weights but add nothing to the residual stream, so each next token follows from the
current one alone; the output matrix chains the tokens so that, whatever the question, the answer to a chat
is
  ОЦЕНКА: 4
  ТЕКСТ: Добрый день, коллеги.
followed by <|im_end|>.
  make-tiny-qwen3.py OUTPUT.gguf"""
import struct
import sys

import numpy as np

EMBEDDING = 64
HEADS = 4
KV_HEADS = 2
HEAD_SIZE = 16
LAYERS = 2
FEED_FORWARD = 128
CONTEXT = 2048
SPECIALS = ["<|endoftext|>", "<|im_start|>", "<|im_end|>"]
ANSWER = ["ОЦЕНКА:", " 4", "\nТЕКСТ:", " Добрый", " день", ",", " коллеги", "."]
TEMPLATE = ("{% for message in messages %}{{ '<|im_start|>' + message['role'] + '\\n' + message['content'] + "
            "'<|im_end|>\\n' }}{% endfor %}{% if add_generation_prompt %}{{ '<|im_start|>assistant\\n' }}{% endif %}")

STRING, ARRAY, UINT32, INT32, FLOAT32, BOOL = 8, 9, 4, 5, 6, 7
ALIGNMENT = 32


def byte_characters():
    """GPT-2's printable stand-ins for the 256 bytes."""
    printable = list(range(ord("!"), ord("~") + 1)) + list(range(0xA1, 0xAD)) + list(range(0xAE, 0x100))
    characters = {byte: chr(byte) for byte in printable}
    extra = 0
    for byte in range(256):
        if byte not in characters:
            characters[byte] = chr(256 + extra)
            extra += 1
    return characters


def vocabulary():
    characters = byte_characters()
    encode = lambda text: "".join(characters[byte] for byte in text.encode("utf-8"))
    tokens = [characters[byte] for byte in range(256)]
    for piece in ANSWER:
        if encode(piece) not in tokens:
            tokens.append(encode(piece))
    types = [1] * len(tokens) + [3] * len(SPECIALS)
    return tokens + SPECIALS, types, encode


def string(text):
    data = text.encode("utf-8")
    return struct.pack("<Q", len(data)) + data


def value(kind, item):
    if kind == STRING:
        return string(item)
    return struct.pack({UINT32: "<I", INT32: "<i", FLOAT32: "<f", BOOL: "<?"}[kind], item)


def key_value(key, kind, item, element=None):
    if kind == ARRAY:
        body = struct.pack("<IQ", element, len(item)) + b"".join(value(element, entry) for entry in item)
    else:
        body = value(kind, item)
    return string(key) + struct.pack("<I", kind) + body


def tensors(tokens, encode):
    random = np.random.default_rng(7)
    vocabulary_size = len(tokens)
    embeddings = random.standard_normal((vocabulary_size, EMBEDDING)).astype(np.float32)
    output = (random.standard_normal((vocabulary_size, EMBEDDING)) * 0.01).astype(np.float32)
    # Each token of the answer is the one strongly expected after its predecessor: the prompt's last "\n" first.
    chain = [encode("\n")] + [encode(piece) for piece in ANSWER] + ["<|im_end|>"]
    for previous, following in zip(chain, chain[1:]):
        direction = embeddings[tokens.index(previous)]
        output[tokens.index(following)] = 50 * direction / np.linalg.norm(direction)
    result = {"token_embd.weight": embeddings, "output_norm.weight": np.ones(EMBEDDING, np.float32),
              "output.weight": output}
    for layer in range(LAYERS):
        block = f"blk.{layer}."
        shapes = {"attn_q.weight": (HEADS * HEAD_SIZE, EMBEDDING), "attn_k.weight": (KV_HEADS * HEAD_SIZE, EMBEDDING),
                  "attn_v.weight": (KV_HEADS * HEAD_SIZE, EMBEDDING), "ffn_gate.weight": (FEED_FORWARD, EMBEDDING),
                  "ffn_up.weight": (FEED_FORWARD, EMBEDDING)}
        for name, shape in shapes.items():
            result[block + name] = (random.standard_normal(shape) * 0.1).astype(np.float32)
        # What the layers add to the residual stream: nothing.
        result[block + "attn_output.weight"] = np.zeros((EMBEDDING, HEADS * HEAD_SIZE), np.float32)
        result[block + "ffn_down.weight"] = np.zeros((EMBEDDING, FEED_FORWARD), np.float32)
        for name, size in {"attn_norm.weight": EMBEDDING, "ffn_norm.weight": EMBEDDING,
                           "attn_q_norm.weight": HEAD_SIZE, "attn_k_norm.weight": HEAD_SIZE}.items():
            result[block + name] = np.ones(size, np.float32)
    return result


def main(path):
    tokens, types, encode = vocabulary()
    metadata = [
        key_value("general.architecture", STRING, "qwen3"),
        key_value("general.name", STRING, "tiny scripted qwen3"),
        key_value("qwen3.context_length", UINT32, CONTEXT),
        key_value("qwen3.embedding_length", UINT32, EMBEDDING),
        key_value("qwen3.block_count", UINT32, LAYERS),
        key_value("qwen3.feed_forward_length", UINT32, FEED_FORWARD),
        key_value("qwen3.attention.head_count", UINT32, HEADS),
        key_value("qwen3.attention.head_count_kv", UINT32, KV_HEADS),
        key_value("qwen3.attention.key_length", UINT32, HEAD_SIZE),
        key_value("qwen3.attention.value_length", UINT32, HEAD_SIZE),
        key_value("qwen3.rope.freq_base", FLOAT32, 1000000.0),
        key_value("qwen3.attention.layer_norm_rms_epsilon", FLOAT32, 1e-6),
        key_value("tokenizer.ggml.model", STRING, "gpt2"),
        key_value("tokenizer.ggml.pre", STRING, "qwen2"),
        key_value("tokenizer.ggml.tokens", ARRAY, tokens, STRING),
        key_value("tokenizer.ggml.token_type", ARRAY, types, INT32),
        key_value("tokenizer.ggml.merges", ARRAY, [], STRING),
        key_value("tokenizer.ggml.eos_token_id", UINT32, tokens.index("<|im_end|>")),
        key_value("tokenizer.ggml.bos_token_id", UINT32, tokens.index("<|endoftext|>")),
        key_value("tokenizer.ggml.padding_token_id", UINT32, tokens.index("<|endoftext|>")),
        key_value("tokenizer.ggml.add_bos_token", BOOL, False),
        key_value("tokenizer.chat_template", STRING, TEMPLATE),
    ]
    weights = tensors(tokens, encode)
    infos, data = [], b""
    for name, array in weights.items():
        data += b"\0" * (-len(data) % ALIGNMENT)
        dimensions = list(reversed(array.shape))
        infos.append(string(name) + struct.pack("<I", len(dimensions)) +
                     b"".join(struct.pack("<Q", size) for size in dimensions) + struct.pack("<IQ", 0, len(data)))
        data += array.tobytes()
    header = b"GGUF" + struct.pack("<IQQ", 3, len(weights), len(metadata)) + b"".join(metadata) + b"".join(infos)
    with open(path, "wb") as output:
        output.write(header + b"\0" * (-len(header) % ALIGNMENT) + data)


if __name__ == "__main__":
    main(sys.argv[1])
