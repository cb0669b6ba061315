// Export/import decoration of the framework DLL.
#pragma once

#ifdef FW_BUILDING
#define FW_API __declspec(dllexport)
#else
#define FW_API __declspec(dllimport)
#endif
