#pragma once
// USB host controllers ("\\.\HCD0" to "\\.\HCD10") and hubs ("\\.\" followed by the hub's
// name), opened through the device service (CreateFile) and asked through DeviceIoControl.
// The request and reply blocks keep the published layouts: packed, little-endian, names in
// UTF-16. Offsets are counted from the start of each block.

#include <cstddef>
#include <cstdint>

#include "platform/types.h"

namespace qm::platform {

// The control codes of the USB hub and host-controller drivers. The root-hub name request
// of a host controller and the node-information request of a hub share their value.
inline constexpr DWORD IOCTL_USB_GET_ROOT_HUB_NAME = 0x220408;
inline constexpr DWORD IOCTL_USB_GET_NODE_INFORMATION = 0x220408;
inline constexpr DWORD IOCTL_USB_GET_NODE_CONNECTION_INFORMATION = 0x22040C;
inline constexpr DWORD IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION = 0x220410;
inline constexpr DWORD IOCTL_USB_GET_NODE_CONNECTION_NAME = 0x220414;
inline constexpr DWORD IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME = 0x220420;

namespace usb {

// USB_ROOT_HUB_NAME: ActualLength (the size the whole reply needs), then the name.
inline constexpr std::size_t kRootHubNameActualLength = 0;
inline constexpr std::size_t kRootHubNameText = 4;
inline constexpr std::size_t kRootHubNameSize = 6;  // the fixed part: one character of the name

// USB_NODE_CONNECTION_NAME and USB_NODE_CONNECTION_DRIVERKEY_NAME: ConnectionIndex,
// ActualLength, then the name.
inline constexpr std::size_t kConnectionIndex = 0;
inline constexpr std::size_t kConnectionNameActualLength = 4;
inline constexpr std::size_t kConnectionNameText = 8;
inline constexpr std::size_t kConnectionNameSize = 10;

// USB_NODE_INFORMATION: NodeType, then USB_HUB_INFORMATION (the hub descriptor, then
// HubIsBusPowered).
inline constexpr std::size_t kNodeInformationSize = 76;
inline constexpr std::size_t kNodeType = 0;
inline constexpr std::size_t kHubDescriptorLength = 4;
inline constexpr std::size_t kHubDescriptorType = 5;
inline constexpr std::size_t kHubNumberOfPorts = 6;
inline constexpr std::size_t kHubCharacteristics = 7;
inline constexpr std::size_t kHubPowerOnToPowerGood = 9;
inline constexpr std::size_t kHubControlCurrent = 10;
inline constexpr std::size_t kHubRemoveAndPowerMask = 11;  // 64 bytes
inline constexpr std::size_t kHubIsBusPowered = 75;
inline constexpr std::uint32_t UsbHub = 0;  // USB_HUB_NODE
inline constexpr std::uint8_t USB_HUB_DESCRIPTOR_TYPE = 0x29;

// USB_NODE_CONNECTION_INFORMATION: ConnectionIndex, the device descriptor, the connection's
// state, then one USB_PIPE_INFO (an endpoint descriptor and ScheduleOffset) per open pipe.
inline constexpr std::size_t kDeviceDescriptor = 4;  // USB_DEVICE_DESCRIPTOR, 18 bytes
inline constexpr std::size_t kBcdUsb = 6;
inline constexpr std::size_t kDeviceClass = 8;
inline constexpr std::size_t kDeviceSubClass = 9;
inline constexpr std::size_t kDeviceProtocol = 10;
inline constexpr std::size_t kMaxPacketSize0 = 11;
inline constexpr std::size_t kIdVendor = 12;
inline constexpr std::size_t kIdProduct = 14;
inline constexpr std::size_t kBcdDevice = 16;
inline constexpr std::size_t kIManufacturer = 18;
inline constexpr std::size_t kIProduct = 19;
inline constexpr std::size_t kISerialNumber = 20;
inline constexpr std::size_t kNumConfigurations = 21;
inline constexpr std::size_t kCurrentConfigurationValue = 22;
inline constexpr std::size_t kLowSpeed = 23;
inline constexpr std::size_t kDeviceIsHub = 24;
inline constexpr std::size_t kDeviceAddress = 25;
inline constexpr std::size_t kNumberOfOpenPipes = 27;
inline constexpr std::size_t kConnectionStatus = 31;
inline constexpr std::size_t kPipeList = 35;
inline constexpr std::size_t kPipeInfoSize = 11;
inline constexpr std::size_t kDeviceDescriptorSize = 18;

// USB_CONNECTION_STATUS.
inline constexpr std::uint32_t NoDeviceConnected = 0;
inline constexpr std::uint32_t DeviceConnected = 1;

// USB_DESCRIPTOR_REQUEST: ConnectionIndex, the setup packet (bmRequest, bRequest, wValue,
// wIndex, wLength), then the descriptor's bytes.
inline constexpr std::size_t kSetupBmRequest = 4;
inline constexpr std::size_t kSetupBRequest = 5;
inline constexpr std::size_t kSetupWValue = 6;
inline constexpr std::size_t kSetupWIndex = 8;
inline constexpr std::size_t kSetupWLength = 10;
inline constexpr std::size_t kDescriptorData = 12;

// Descriptor types, the high byte of wValue.
inline constexpr std::uint8_t USB_DEVICE_DESCRIPTOR_TYPE = 1;
inline constexpr std::uint8_t USB_CONFIGURATION_DESCRIPTOR_TYPE = 2;
inline constexpr std::uint8_t USB_STRING_DESCRIPTOR_TYPE = 3;
inline constexpr std::uint8_t USB_INTERFACE_DESCRIPTOR_TYPE = 4;
inline constexpr std::uint8_t USB_ENDPOINT_DESCRIPTOR_TYPE = 5;

// USB_CONFIGURATION_DESCRIPTOR: bLength, bDescriptorType, wTotalLength, bNumInterfaces,
// bConfigurationValue, iConfiguration, bmAttributes, MaxPower (in units of 2 mA).
inline constexpr std::size_t kConfigurationDescriptorSize = 9;
inline constexpr std::size_t kConfigurationAttributes = 7;
inline constexpr std::size_t kConfigurationMaxPower = 8;

}  // namespace usb
}  // namespace qm::platform
