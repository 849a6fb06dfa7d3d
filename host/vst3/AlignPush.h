// Structure packing of the published interface structs: 16 on 64-bit Windows, 8 on 32-bit
// Windows; elsewhere the compiler's natural alignment, which is what the static_asserts next to
// each struct check. Include before the structs and AlignPop.h after them (no include guard).
#if defined(_WIN32)
#pragma pack(push)
#if defined(_WIN64) || defined(_M_ARM64)
#pragma pack(16)
#else
#pragma pack(8)
#endif
#endif
