/* The channel module's C interface (Ruduvar9).
 *
 * One channel object serves one serial port. The program calls four entries of
 * the object's operation table: Open (5th), Close (6th), Read (8th) and Write (9th),
 * and the module's own tenth, WriteWhile, in place of Write when its GetVersion (the
 * 1st entry) says at least CHANNEL_VERSION_WRITE_WHILE; a table of an older or another
 * module may have nine entries only, and its tenth is never read. From a module whose
 * GetVersion says at least CHANNEL_VERSION_CANCEL_IO it also calls the eleventh, CancelIo,
 * at tear-down.
 * Thread safety: one channel object is used by one thread at a time; different
 * objects may be used from different threads at once; CancelIo is the one call another
 * thread may make while the channel is in use. keep_going is called on the writing
 * thread. */
#ifndef KORVANE_CHANNEL_ABI_H
#define KORVANE_CHANNEL_ABI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct IChannel IChannel;

/* What Open is given: kind (always 0), the port number n of COMn, the baud rate. */
typedef struct ChannelConfig {
    uint32_t kind;
    uint32_t port;
    uint32_t baud;
} ChannelConfig;

typedef struct IChannelVtbl {
    /* 1 */ uint32_t (*GetVersion)(IChannel* self);
    /* 2 */ int32_t (*GetLastError)(IChannel* self);          /* errno of the last failed call, 0 if none */
    /* 3 */ int32_t (*IsOpen)(IChannel* self);
    /* 4 */ int32_t (*SetWriteTimeout)(IChannel* self, uint32_t ms);
    /* 5 */ int32_t (*Open)(IChannel* self, const ChannelConfig* config); /* non-zero when open */
    /* 6 */ void (*Close)(IChannel* self);
    /* 7 */ int32_t (*Purge)(IChannel* self);                 /* drops unread input */
    /* 8 */ int32_t (*Read)(IChannel* self, void* buffer, uint32_t capacity, uint32_t wait_ms, uint32_t reserved);
    /* 9 */ int32_t (*Write)(IChannel* self, const void* data, uint32_t length, uint32_t reserved);
    /* 10 */ int32_t (*WriteWhile)(IChannel* self, const void* data, uint32_t length,
                                   int32_t (*keep_going)(void* context), void* context);
    /* 11 */ void (*CancelIo)(IChannel* self); /* ends pending I/O; later reads return 0 and
                                                  writes fail at once, until the next Open */
} IChannelVtbl;

/* The first GetVersion of a module whose table has the eleventh entry. */
#define CHANNEL_VERSION_CANCEL_IO 0x00010100u

struct IChannel {
    const IChannelVtbl* vtbl;
};

/* Read: bytes placed in the buffer, 0 when nothing arrived within wait_ms, -1 on error
 * (device gone or not open). Write: the bytes written (the whole buffer), or -1 when
 * the device failed or did not take the data within the write time-out.
 * WriteWhile: as Write, but while the device takes no data it asks keep_going(context)
 * at least every CHANNEL_STOP_CHECK_MS and gives up when it returns 0; a null keep_going
 * never gives up. It tells the failures apart by their results below. */
#define CHANNEL_STOP_CHECK_MS 50
#define CHANNEL_WRITE_FAILED (-1)    /* the device failed or is gone */
#define CHANNEL_WRITE_TIMED_OUT (-2) /* the device is there but took no data within the time-out */
#define CHANNEL_WRITE_STOPPED (-3)   /* keep_going returned 0 */

/* The first GetVersion of a channel whose table has the tenth entry, WriteWhile. */
#define CHANNEL_VERSION_WRITE_WHILE 0x00010000u

typedef int32_t (*CreateChannelFn)(IChannel** slot, uint32_t reserved); /* non-zero on success */
typedef void (*ReleaseChannelFn)(IChannel* channel);

#ifdef __cplusplus
}
#endif

#endif
