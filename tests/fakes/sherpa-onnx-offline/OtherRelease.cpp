// A sherpa-onnx C API library of another release, as far as sherpa-onnx-offline can tell before it refuses it.
extern "C" __attribute__((visibility("default"))) const char* SherpaOnnxGetVersionStr()
{
    return "1.12.0";
}
