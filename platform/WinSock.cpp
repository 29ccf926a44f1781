#include "platform/WinSock.h"
