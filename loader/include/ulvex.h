/*
 * ulvex.h - public C API of the Ulvex flash loader library.
 *
 * A host registers a callback, optionally sets a debug mask, and starts a
 * programming session with FlashLoader(). The session runs on a worker
 * thread of the library and reports every stage through indications handed
 * to the callback; it always ends with STOP_PROGRAM_IND. The TM_ functions
 * (test mode) give a host synchronous access to a target through the same
 * monitor, on the host's own thread.
 *
 * Ownership: an IndicationRecord belongs to the library and lives only for
 * the duration of one callback; copy what you need before returning. Images
 * returned by TM_ReadHexFile are allocated with malloc() and are the host's
 * to free().
 *
 * Threads: all working state (port, log, transport) is per thread. Test-mode
 * calls of one test session must come from one thread. The callback may be
 * entered from several session worker threads at once.
 */
#ifndef ULVEX_H
#define ULVEX_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Calling convention of every export and of the host callback: stdcall on
 * 32-bit Windows, the platform default elsewhere. */
#if defined(_WIN32) && !defined(_WIN64)
#define ULVEX_CALL __stdcall
#else
#define ULVEX_CALL
#endif

#if defined(_WIN32)
#if defined(ULVEX_BUILD) && defined(ULVEX_DEF_EXPORTS)
#define ULVEX_API /* exported through the library's module-definition file */
#elif defined(ULVEX_BUILD)
#define ULVEX_API __declspec(dllexport)
#else
#define ULVEX_API __declspec(dllimport)
#endif
#elif defined(ULVEX_BUILD)
#define ULVEX_API __attribute__((visibility("default")))
#else
#define ULVEX_API
#endif

/* Library version: major in the upper 16 bits, minor in the lower (2.65). */
#define ULVEX_VERSION 0x00020041u
#define ULVEX_VERSION_MAJOR(v) ((uint32_t)(v) >> 16)
#define ULVEX_VERSION_MINOR(v) ((uint32_t)(v)&0xFFFFu)

/* ------------------------------------------------------------------------ */
/* Indications                                                               */
/* ------------------------------------------------------------------------ */

typedef enum IndicationCode {
    START_PROGRAM_IND = 1,               /* one long: library version */
    LOADER_ID_UNKNOWN_IND = 2,           /* target type has no boot procedure */
    COM_PORT_ACCESS_FAIL_IND = 3,        /* opening the access port failed */
    READY_TO_DOWNLOAD_IND = 4,           /* defined, never sent */
    START_DOWNLOADER_IND = 5,            /* defined, never sent */
    DOWNLOAD_SUCCESS_IND = 6,            /* monitor started and answered */
    DOWNLOAD_FAILED_IND = 7,             /* boot-loader download or first contact failed */
    HEX_FILE_ERROR_IND = 8,              /* the HEX file could not be read */
    PROGRAM_SIZE_IND = 9,                /* one long: image size in bytes */
    PROGRAM_OFFSET_IND = 10,             /* one long: lowest image address */
    COMMUNICATION_ERROR_IND = 11,        /* defined, never sent */
    PROGRAM_PROGRESS_IND = 12,           /* one long: target address reached */
    FLASHTYPE_IND = 13,                  /* two words: manufacturer code, device id */
    CHIP_ERASE_START_IND = 14,           /* none */
    CHIP_ERASE_FINISHED_IND = 15,        /* none */
    PROGRAMMING_SUCCESS_IND = 16,        /* none */
    CRC_OK_IND = 17,                     /* two longs: file CRC32, target CRC32 */
    CRC_ERROR_IND = 18,                  /* two longs: file CRC32, target CRC32 */
    RESET_TARGET_IND = 19,               /* none */
    MAIL_ERROR_IND = 20,                 /* one word: MailError code */
    STOP_PROGRAM_IND = 21,               /* one long: elapsed milliseconds; always last */
    TEXT_INFO_IND = 22,                  /* text */
    COMPORT_CTRL_IND = 23,               /* one word: ComportCtrlAction */
    COM_PORT_SEARCHING_IND = 24,         /* none */
    COM_PORT_SEARCHING_TIMEOUT_IND = 25, /* none */
    COM_PORT_FOUND_IND = 26,             /* none */
    ERASE_SECTOR_IND = 27,               /* one long: sector address */
    TARGET_FOUND_IND = 28,               /* none */
    SECTOR_ERASE_START_IND = 29,         /* none */
    SECTOR_ERASE_FINISHED_IND = 30       /* none */
} IndicationCode;

/* Parameter of COMPORT_CTRL_IND. */
typedef enum ComportCtrlAction {
    COMPORT_CTRL_DTR_SET = 0,
    COMPORT_CTRL_DTR_CLR = 1,
    COMPORT_CTRL_RTS_SET = 2,
    COMPORT_CTRL_RTS_CLR = 3,
    COMPORT_CTRL_BREAK_SET = 4,
    COMPORT_CTRL_BREAK_CLR = 5
} ComportCtrlAction;

#define INDICATION_TEXT_SIZE 512 /* text field including its terminator */

/* One indication, little-endian and packed. Which parameter member is valid
 * depends on the code (see IndicationCode); other bytes are undefined. The
 * library always hands over a record of the full sizeof(IndicationRecord). */
#pragma pack(push, 1)
typedef struct IndicationRecord {
    uint16_t code;      /* offset 0: IndicationCode */
    uint16_t sessionid; /* offset 2: session id of the sender */
    union {
        uint16_t words[2];               /* offsets 4 and 6 */
        uint32_t longs[2];               /* offsets 4 and 8 */
        char text[INDICATION_TEXT_SIZE]; /* offset 4, zero-terminated */
    } param;
} IndicationRecord;
#pragma pack(pop)

typedef void(ULVEX_CALL* IndicationCallback)(IndicationRecord* record);

/* ------------------------------------------------------------------------ */
/* Result codes                                                              */
/* ------------------------------------------------------------------------ */

/* FlashLoader results (the host looks at the low 16 bits). */
#define FLASHLOADER_STARTED 0u
#define FLASHLOADER_FILE_ERROR                                                                     \
    2u                                 /* file cannot be opened, or its name has                   \
                                          200 characters or more */
#define FLASHLOADER_TARGET_REFUSED 4u  /* target type 4, 8, 9 or above 23 */
#define FLASHLOADER_BUSMODE_REFUSED 5u /* bus mode (low 5 bits) neither 1 nor 2 */
#define FLASHLOADER_THREAD_ERROR 6u    /* the session worker could not start */

/* SetupCallbackFunction results. */
#define CALLBACK_REGISTERED 0u
#define CALLBACK_NULL 3u

/* Mail error codes: results of the mail-based TM_ functions and the
 * parameter of MAIL_ERROR_IND. */
typedef enum MailError {
    MAIL_NO_ERROR = 0,
    MAIL_TIMEOUT = 1,                  /* no response after two retransmissions */
    MAIL_FATAL = 2,                    /* receiver in an undefined state */
    MAIL_MEMORY_ALLOC_ERROR = 3,       /* frame buffer could not be allocated */
    MAIL_TOO_LONG = 4,                 /* request frame above 4352 bytes */
    MAIL_TOO_SHORT = 5,                /* response length field 4 or less */
    MAIL_CHECKSUM_ERROR = 6,           /* response checksum wrong */
    MAIL_UNEXPECTED_RETURN_VALUE = 7,  /* not produced by the transport; null TM_ pointer */
    MAIL_WRONG_RESPONSE_PRIMITIVE = 8, /* other primitive, or port read/write failed */
    MAIL_NEGATIVE_CONFIRM = 9,         /* confirm status byte not 1 */
    MAIL_DATA_REQ_LENGTH_TOO_LONG = 10 /* read larger than one mail carries */
} MailError;

/* TM_OpenAccessPort / TM_OpenAccessPortEx results. */
#define ACCESS_PORT_FAILED 0u
#define ACCESS_PORT_OPEN 1u

/* TM_ReadHexFile results. */
#define HEX_IMAGE_READY 0u
#define HEX_IMAGE_NO_MEMORY_TO_GROW_KEPT 2u /* keep != 0 and the image could not grow */
#define HEX_IMAGE_NO_MEMORY_FOR_NEW 3u      /* no memory, or the image spans over 256 MiB */
#define HEX_IMAGE_FILL_PASS_FAILED 5u
#define HEX_IMAGE_SCAN_PASS_FAILED 6u /* also: unreadable file, no data record */

/* Largest reads that fit one mail. */
#define TM_READ_MEM8_MAX_BYTES 4346u
#define TM_READ_MEM16_MAX_WORDS 2173u

/* SetDebug mask bits. */
#define DEBUG_RX_DUMP 0x01u        /* hex dump of received bytes */
#define DEBUG_TX_DUMP 0x02u        /* hex dump of sent bytes */
#define DEBUG_MAIL_TRACE 0x04u     /* decoded mails, retransmissions, timeouts */
#define DEBUG_INDICATIONS 0x08u    /* one log line per indication */
#define DEBUG_NARROW_MONITOR 0x10u /* trace only RX/TX while the monitor starts */

/* ------------------------------------------------------------------------ */
/* Session exports                                                           */
/* ------------------------------------------------------------------------ */

/* Starts a programming session on a worker thread and returns at once.
 * comport: COM port number (low 16 bits; the port layer uses the low 8).
 * busmode: low 5 bits 1 (single wire, echo) or 2 (duplex); bit 14 raises RTS
 *          and bit 15 raises DTR when the port opens.
 * baudrate: working baud rate of the monitor link.
 * targettype: 0 to 23 except 4, 8 and 9.
 * filename: Intel HEX file, fewer than 200 characters; must open for reading.
 * sessionid: tag copied into every indication (low 16 bits).
 * Arguments are checked in this order: bus mode (5), target type (4), file
 * (2). Returns FLASHLOADER_STARTED, after which the session's end is
 * announced only by STOP_PROGRAM_IND. A refused call sends no indication. */
ULVEX_API uint32_t ULVEX_CALL FlashLoader(uint32_t comport, uint32_t busmode, uint32_t baudrate,
                                          uint32_t targettype, const char* filename,
                                          uint32_t sessionid);

/* Registers the indication callback; a null pointer is stored too (and then
 * no indication reaches anybody). Returns 0, or 3 for a null pointer. */
ULVEX_API uint32_t ULVEX_CALL SetupCallbackFunction(IndicationCallback callback);

/* The callback registered now, or null. */
ULVEX_API IndicationCallback ULVEX_CALL ReadCallbackFunction(void);

/* ULVEX_VERSION. */
ULVEX_API uint32_t ULVEX_CALL FLoaderDLLVersion(void);

/* Sets the debug mask taken over by the next session or test-mode start; any
 * non-zero mask writes a log file "Session_<id>.log" / "TestMode_<id>.log" in
 * the current directory. Returns the mask. */
ULVEX_API uint32_t ULVEX_CALL SetDebug(uint32_t mask);

/* Sets the boot-loader search timeout (low 16 bits of seconds); the value in
 * milliseconds is held in 16 bits, so above 65 s it wraps (70 s -> 4464 ms).
 * Returns the new timeout in milliseconds. */
ULVEX_API uint32_t ULVEX_CALL SetBootLoaderTimeout(uint32_t seconds);

/* ------------------------------------------------------------------------ */
/* Test-mode exports                                                         */
/* ------------------------------------------------------------------------ */

/* Opens test mode on the calling thread (log "TestMode_<id>.log" when the
 * debug mask is non-zero) and sends START_PROGRAM_IND. Returns 0. */
ULVEX_API uint32_t ULVEX_CALL TM_InitTestMode(uint32_t sessionid);
/* Sends STOP_PROGRAM_IND and closes the test-mode log. The port is not
 * touched: close it first with TM_CloseAccessPort. Returns 0. */
ULVEX_API uint32_t ULVEX_CALL TM_StopTestMode(void);

/* Wakes the boot loader, downloads and starts the monitor and leaves the port
 * open at the working rate. Returns 0 when the monitor runs. */
ULVEX_API uint32_t ULVEX_CALL TM_StartMonitorProgram(uint32_t comport, uint32_t busmode,
                                                     uint32_t baudrate, uint32_t targettype);
/* Opens the access port to a monitor that already runs. stopbits: 0 one,
 * 1 one and a half, 2 two. The last two arguments are unused; pass 0.
 * Returns ACCESS_PORT_OPEN or ACCESS_PORT_FAILED. */
ULVEX_API uint32_t ULVEX_CALL TM_OpenAccessPortEx(uint32_t comport, uint32_t baudrate,
                                                  uint32_t busmode, uint32_t stopbits,
                                                  uint32_t unused1, uint32_t unused2);
ULVEX_API uint32_t ULVEX_CALL TM_OpenAccessPort(uint32_t comport, uint32_t baudrate,
                                                uint32_t busmode);
/* Returns 1. */
ULVEX_API uint32_t ULVEX_CALL TM_CloseAccessPort(void);

/* Memory access. Results are MailError codes. Reads above
 * TM_READ_MEM16_MAX_WORDS / TM_READ_MEM8_MAX_BYTES return
 * MAIL_DATA_REQ_LENGTH_TOO_LONG without sending anything. In this and the
 * following sections, a null buffer, data or result pointer returns
 * MAIL_UNEXPECTED_RETURN_VALUE without sending anything. */
ULVEX_API uint32_t ULVEX_CALL TM_ReadMemory16(uint32_t address, uint32_t count, uint16_t* buffer);
ULVEX_API uint32_t ULVEX_CALL TM_ReadMemory8(uint32_t address, uint32_t count, uint8_t* buffer);
ULVEX_API uint32_t ULVEX_CALL TM_WriteMemory16(uint32_t address, uint32_t count,
                                               const uint16_t* data);
ULVEX_API uint32_t ULVEX_CALL TM_WriteMemory16_NoConfirm(uint32_t address, uint32_t count,
                                                         const uint16_t* data);
ULVEX_API uint32_t ULVEX_CALL TM_WriteMemory8(uint32_t address, uint32_t count,
                                              const uint8_t* data);
ULVEX_API uint32_t ULVEX_CALL TM_WriteMemory8_NoConfirm(uint32_t address, uint32_t count,
                                                        const uint8_t* data);

/* Flash programming. */
ULVEX_API uint32_t ULVEX_CALL TM_WriteIntFlash16(uint32_t address, uint32_t count,
                                                 const uint16_t* data);
ULVEX_API uint32_t ULVEX_CALL TM_WriteExtFlash16(uint32_t address, uint32_t count,
                                                 const uint16_t* data);
/* External flash made of two 8-bit devices on a 16-bit bus. */
ULVEX_API uint32_t ULVEX_CALL TM_WriteExtFlash16_2(uint32_t address, uint32_t count,
                                                   const uint16_t* data);
ULVEX_API uint32_t ULVEX_CALL TM_WriteIntFlash8(uint32_t address, uint32_t count,
                                                const uint8_t* data);
ULVEX_API uint32_t ULVEX_CALL TM_WriteExtFlash8(uint32_t address, uint32_t count,
                                                const uint8_t* data);

/* Single word and byte access. */
ULVEX_API uint32_t ULVEX_CALL TM_Rd16(uint32_t address, uint16_t* value);
ULVEX_API uint32_t ULVEX_CALL TM_Rd8(uint32_t address, uint8_t* value);
ULVEX_API uint32_t ULVEX_CALL TM_Wr16(uint32_t address, uint32_t value);
ULVEX_API uint32_t ULVEX_CALL TM_Wr8(uint32_t address, uint32_t value);

/* CRC32 and checksum computed by the target over start..end. */
ULVEX_API uint32_t ULVEX_CALL TM_CalcCRC32(uint32_t start, uint32_t end, uint32_t* crc);
ULVEX_API uint32_t ULVEX_CALL TM_CalcChecksum(uint32_t start, uint32_t end, uint32_t* sum);

/* Monitor configuration (unconfirmed: returns the transport's code). */
ULVEX_API uint32_t ULVEX_CALL TM_SetConfiguration(uint32_t configuration);
/* Flash base and the byte addresses of flash words 0x2AAA and 0x5555. */
ULVEX_API uint32_t ULVEX_CALL TM_SetExtFlashProgCMDAddress(uint32_t base, uint32_t address2aaa,
                                                           uint32_t address5555);

/* External flash erase and identity. */
ULVEX_API uint32_t ULVEX_CALL TM_ExtFlashSectorErase(uint32_t address);
ULVEX_API uint32_t ULVEX_CALL TM_ExtFlashBlockErase(uint32_t address);
ULVEX_API uint32_t ULVEX_CALL TM_ExtFlashChipErase(void);
ULVEX_API uint32_t ULVEX_CALL TM_ExtFlashTypeInfo(uint16_t* manufacturer, uint16_t* device);

/* Jump to an address; change the monitor's baud rate (the PC port keeps its
 * own rate). */
ULVEX_API uint32_t ULVEX_CALL TM_GoFromAddress(uint32_t address);
ULVEX_API uint32_t ULVEX_CALL TM_SetBaudrate(uint32_t baudrate);

/* Control lines: the state is recorded and, if the port is open, applied and
 * reported with COMPORT_CTRL_IND; otherwise applied at the next open.
 * Each returns 1. */
ULVEX_API uint32_t ULVEX_CALL TM_SetDTR(void);
ULVEX_API uint32_t ULVEX_CALL TM_ClrDTR(void);
ULVEX_API uint32_t ULVEX_CALL TM_SetRTS(void);
ULVEX_API uint32_t ULVEX_CALL TM_ClrRTS(void);
ULVEX_API uint32_t ULVEX_CALL TM_SetBREAK(void);
ULVEX_API uint32_t ULVEX_CALL TM_ClrBREAK(void);

/* Sends raw bytes without framing. Returns 1 whether or not the write
 * succeeded (a failure shows only in the trace and the log); null bytes send
 * nothing. */
ULVEX_API uint32_t ULVEX_CALL TM_SendSerialData(const uint8_t* bytes, uint32_t count);

/* Reads an Intel HEX file into a memory image of *size + 3 bytes in which
 * bytes the file does not set are 0xFF. keep == 0: a new malloc'ed buffer is
 * stored in *buffer. keep != 0: the file is written over the image in
 * *buffer and *size (positions relative to this file's lowest address); when it
 * does not fit, a larger buffer holding the old bytes is returned and the old
 * one stays the host's to free. Needs no target. Returns HEX_IMAGE_* codes;
 * on failure *buffer is unchanged. */
ULVEX_API uint32_t ULVEX_CALL TM_ReadHexFile(const char* filename, uint32_t keep, uint8_t** buffer,
                                             uint32_t* size, uint32_t* base);

#ifdef __cplusplus
}
#endif

#endif /* ULVEX_H */
