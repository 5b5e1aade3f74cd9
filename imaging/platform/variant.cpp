#include <cstdlib>
#include <cstring>

#include "pixolith/platform.h"

namespace {

size_t ElementSize(VARTYPE vt) {
  switch (vt) {
    case VT_I1:
    case VT_UI1:
      return 1;
    case VT_I2:
    case VT_UI2:
      return 2;
    case VT_I4:
    case VT_UI4:
    case VT_R4:
      return 4;
    case VT_R8:
      return 8;
    default:
      return 0;
  }
}

}  // namespace

extern "C" void VariantInit(VARIANT* v) {
  if (!v) return;
  std::memset(v, 0, sizeof *v);
  v->vt = VT_EMPTY;
}

extern "C" int VariantClear(VARIANT* v) {
  if (!v) return -1;
  if (v->vt == VT_BSTR) SysFreeString(v->bstrVal);
  if (v->vt & VT_ARRAY) SafeArrayDestroy(v->parray);
  VariantInit(v);
  return 0;
}

extern "C" BSTR SysAllocString(const char* text) {
  if (!text) return nullptr;
  size_t n = std::strlen(text);
  auto* copy = static_cast<char*>(std::malloc(n + 1));
  if (copy) std::memcpy(copy, text, n + 1);
  return copy;
}

extern "C" void SysFreeString(BSTR text) {
  std::free(text);
}

extern "C" SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, long /*lowerBound*/, uint32_t count) {
  size_t element = ElementSize(vt);
  if (!element) return nullptr;
  auto* array = static_cast<SAFEARRAY*>(std::calloc(1, sizeof(SAFEARRAY)));
  if (!array) return nullptr;
  array->vt = vt;
  array->count = count;
  array->data = std::calloc(count ? count : 1, element);
  if (!array->data) {
    std::free(array);
    return nullptr;
  }
  return array;
}

extern "C" int SafeArrayDestroy(SAFEARRAY* array) {
  if (!array) return 0;
  std::free(array->data);
  std::free(array);
  return 0;
}
