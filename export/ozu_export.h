#ifndef OZU_EXPORT_H
#define OZU_EXPORT_H

/* The library is built with hidden visibility; OZU_API marks what the host may use. */
#if defined(__GNUC__)
#define OZU_API __attribute__((visibility("default")))
#else
#define OZU_API
#endif

#endif
