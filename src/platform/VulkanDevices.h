#pragma once

#include <QString>

#include <vector>

// The Vulkan devices of this machine as the system's Vulkan loader (libvulkan.so.1) lists them. Any thread.
namespace VulkanDevices
{
struct Device
{
    QString name;
    // A renderer that computes on the processor (Mesa's llvmpipe, SwiftShader): no faster than the CPU itself.
    bool software = false;
};

// Empty without a loader or a driver. Loads the drivers for the question and lets them go again, but their memory
// stays with the process: ask in a short-lived one.
std::vector<Device> list();
} // namespace VulkanDevices
