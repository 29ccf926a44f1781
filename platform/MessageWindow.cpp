#include "platform/MessageWindow.h"
