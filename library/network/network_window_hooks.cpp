// What the window calls in the network layer, handed to it by the library's start-up.
#include "network/network_services.h"
#include "window/window_services.h"

namespace {

const WindowNetworkHooks kNetworkHooks{
    .end = EndNetwork,
    .pump = PumpNetworkMessages,
    .socketMessage = HandleSocketMessage,
};

}  // namespace

void ConnectNetworkToWindow() { SetWindowNetworkHooks(&kNetworkHooks); }
