#include "platform/app_instance.h"

namespace {
HINSTANCE g_instance = nullptr;
}

HINSTANCE AppInstance() { return g_instance != nullptr ? g_instance : GetModuleHandleW(nullptr); }

void SetAppInstance(HINSTANCE instance) { g_instance = instance; }
