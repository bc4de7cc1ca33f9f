#include "platform/VulkanDevices.h"

#include <QLibrary>

#include <vulkan/vulkan.h>

namespace VulkanDevices
{

namespace
{

template <typename Function>
Function resolve(PFN_vkGetInstanceProcAddr instanceProcAddr, VkInstance instance, const char* name)
{
    return reinterpret_cast<Function>(instanceProcAddr(instance, name));
}

std::vector<Device> devicesOf(PFN_vkGetInstanceProcAddr instanceProcAddr)
{
    const auto createInstance = resolve<PFN_vkCreateInstance>(instanceProcAddr, nullptr, "vkCreateInstance");
    VkApplicationInfo application = {};
    application.sType = VK_STRUCTURE_TYPE_APPLICATION_INFO;
    application.pApplicationName = "tolvan";
    application.apiVersion = VK_API_VERSION_1_0;
    VkInstanceCreateInfo info = {};
    info.sType = VK_STRUCTURE_TYPE_INSTANCE_CREATE_INFO;
    info.pApplicationInfo = &application;
    VkInstance instance = VK_NULL_HANDLE;
    if (!createInstance || createInstance(&info, nullptr, &instance) != VK_SUCCESS)
        return {};
    const auto enumerate =
        resolve<PFN_vkEnumeratePhysicalDevices>(instanceProcAddr, instance, "vkEnumeratePhysicalDevices");
    const auto propertiesOf =
        resolve<PFN_vkGetPhysicalDeviceProperties>(instanceProcAddr, instance, "vkGetPhysicalDeviceProperties");

    std::vector<Device> devices;
    uint32_t count = 0;
    if (enumerate && propertiesOf && enumerate(instance, &count, nullptr) == VK_SUCCESS) {
        std::vector<VkPhysicalDevice> handles(count);
        // VK_INCOMPLETE when a device appeared in between: the ones listed still count.
        if (enumerate(instance, &count, handles.data()) >= VK_SUCCESS) {
            handles.resize(count);
            for (VkPhysicalDevice handle : handles) {
                VkPhysicalDeviceProperties properties = {};
                propertiesOf(handle, &properties);
                devices.push_back(
                    {QString::fromUtf8(properties.deviceName), properties.deviceType == VK_PHYSICAL_DEVICE_TYPE_CPU});
            }
        }
    }
    if (const auto destroyInstance = resolve<PFN_vkDestroyInstance>(instanceProcAddr, instance, "vkDestroyInstance"))
        destroyInstance(instance, nullptr);
    return devices;
}

} // namespace

std::vector<Device> list()
{
    QLibrary library(QStringLiteral("vulkan"), 1);
    const auto instanceProcAddr = reinterpret_cast<PFN_vkGetInstanceProcAddr>(library.resolve("vkGetInstanceProcAddr"));
    if (!instanceProcAddr)
        return {};
    std::vector<Device> devices = devicesOf(instanceProcAddr);
    library.unload();
    return devices;
}

} // namespace VulkanDevices
