/*
 * RavenlinkExport.h: marks the public API of the Ravenlink library.
 *
 * The library is compiled with hidden visibility, so a shared build exports
 * only what is marked here, and an archive linked into a consumer's shared
 * library adds no internals to that library's exports. Usable from C and C++.
 */
#ifndef RAVENLINK_EXPORT_H
#define RAVENLINK_EXPORT_H

#if defined(__GNUC__) || defined(__clang__)
/* One class, function or object of the public API. */
#define RAVENLINK_EXPORT __attribute__((visibility("default")))
/* Every declaration between the two is public (the composer's C API). */
#define RAVENLINK_EXPORT_BEGIN _Pragma("GCC visibility push(default)")
#define RAVENLINK_EXPORT_END _Pragma("GCC visibility pop")
#else
#define RAVENLINK_EXPORT
#define RAVENLINK_EXPORT_BEGIN
#define RAVENLINK_EXPORT_END
#endif

#endif /* RAVENLINK_EXPORT_H */
