/* Defines every GUID that opcda.h and opcsimctl.h declare: interface ids, categories and the
 * server browser's class id. The system headers come first, so that only our GUIDs are defined
 * here and the system's still come from libuuid. */
#include <objbase.h>
#include <ocidl.h>
#include <comcat.h>

#include <initguid.h>

#include "opcda.h"
#include "opcsimctl.h"
