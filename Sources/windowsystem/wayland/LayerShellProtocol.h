#pragma once

// The generated layer-shell header is C and names an argument "namespace".
#define namespace namespace_
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#undef namespace
