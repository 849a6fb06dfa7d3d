// Ends a region opened by AlignPush.h (no include guard).
#if defined(_WIN32)
#pragma pack(pop)
#endif
