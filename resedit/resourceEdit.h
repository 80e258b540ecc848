// CResource: rewrites one resource of another executable file (configuration values of type 40,
// version information, bitmaps) and commits it. Exported by setup.exe for build tools; the
// launcher itself never calls it.
#pragma once

#include <cstdint>

// The data argument of a version request (type 16).
struct VersionResourceData {
   uint32_t kind;     // 0: a string value of the version information; otherwise the fixed version number
   const char* value; // UTF-8
};

// Exported by setup.exe only: the tools that link the class export nothing.
#if defined(TX_RESEDIT_EXPORTS)
#define TX_RESEDIT_API __declspec(dllexport)
#else
#define TX_RESEDIT_API
#endif

class TX_RESEDIT_API CResource
{
 public:
   CResource() = default;
   CResource(const CResource&) = default;
   CResource(CResource&&) = default;
   CResource& operator=(const CResource& other);
   CResource& operator=(CResource&& other);

   // Types and names below 0x10000 are integer identifiers, anything else UTF-8 text. Returns
   // a Win32 error code; a busy target (110) is tried five times in about 1.5 s.
   unsigned long UpdateFileResource(const char* type, const char* file, const char* name, void* data);

 protected:
   bool GetResourceHandler(const char* type);
   unsigned long BitmapResourceHandler(const char* file, const char* name, void* data);
   unsigned long StringResourceHandler(const char* file, const char* name, void* data);
   unsigned long VersionResourceHandler(const char* file, const char* name, void* data);
   unsigned long UpdateFixedVersionResource(const char* file, const char* key, const char* version);
   unsigned long UpdateVariableVersionResource(const char* file, const char* key, const char* value);
   unsigned long UpdateResourceInternal(const char* file, const char* type, const char* name, unsigned short language,
                                        const void* data, unsigned long size);

 private:
   using Handler = unsigned long (CResource::*)(const char* file, const char* name, void* data);
   Handler handler_ = nullptr;
};
