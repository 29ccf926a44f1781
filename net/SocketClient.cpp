#include "net/SocketClient.h"
