#pragma once

#include "platform/VulkanDevices.h"

#include <QString>

#include <vector>

// Whether whisper-server computes on a GPU on this machine: the bundle has its Vulkan build and a Vulkan device
// other than a software renderer is present. The Vulkan loader is asked in a child, the bundle's app with
// --vulkan-devices: the drivers it loads keep tens of megabytes of a process's memory after they are let go.
namespace WhisperGpu
{
// Starts the question on a worker thread, once per process; accelerated() waits for its answer.
void probe();
bool accelerated();

// The child's answer: a line per device, «видеокарта: NAME» or «программный: NAME».
QString report(const std::vector<VulkanDevices::Device>& devices);
bool reportsHardware(const QString& report);
} // namespace WhisperGpu
