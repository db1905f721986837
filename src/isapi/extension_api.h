/* The interface between the extension host and the extension libraries it
   loads: entry points, the control block, its callbacks and request records. */
#ifndef TAMSEL_ISAPI_EXTENSION_API_H
#define TAMSEL_ISAPI_EXTENSION_API_H

/*
 * This header is plain C so that extensions may be written in C or C++.
 *
 * An extension is a shared object exporting, with C linkage:
 *
 *   HSE_BOOL GetExtensionVersion(HSE_VERSION_INFO* pVer);        required
 *   uint32_t HttpExtensionProc(EXTENSION_CONTROL_BLOCK* pECB);    required
 *   HSE_BOOL TerminateExtension(uint32_t dwFlags);                optional
 *
 * The host loads it with dlopen(RTLD_NOW | RTLD_LOCAL), so every symbol the
 * extension needs must be resolvable when it is loaded.
 *
 * The control block is a C struct in the native ABI (pointers are pointer
 * sized, the 32-bit fields stay 32 bits), its fields in the order below.
 * `cbSize` is sizeof(EXTENSION_CONTROL_BLOCK) as built by the host.
 *
 * Last error. Callbacks that fail for a reason worth telling (a buffer that is
 * too small: HSE_ERROR_INSUFFICIENT_BUFFER) set a per-thread error code. The
 * host executable defines and exports HseGetLastError and HseSetLastError
 * (declared below); an extension simply calls them, and the dynamic loader
 * binds them to the host when the extension is loaded. The value belongs to
 * the calling thread, so read it right after the failing callback, on the
 * same thread.
 *
 * Text arguments are NUL-terminated byte strings unless a length is given.
 */

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int HSE_BOOL;  /* 0 = false, anything else = true */
typedef void* HCONN;   /* the host's connection handle, handed back to every callback */

/* Version of the interface: major in the high 16 bits, minor in the low 16 bits. */
#define HSE_VERSION_MAJOR 2
#define HSE_VERSION_MINOR 0
#define HSE_MAKE_VERSION(major, minor) ((uint32_t)(((uint32_t)(major) << 16) | (uint32_t)(minor)))

#define HSE_LOG_BUFFER_LEN 80
#define HSE_MAX_EXT_DLL_NAME_LEN 256
#define HSE_MAX_PATH 260

/* Answers of HttpExtensionProc. With HSE_STATUS_PENDING the host keeps the
   request open until the extension asks for HSE_REQ_DONE_WITH_SESSION. */
#define HSE_STATUS_SUCCESS 1
#define HSE_STATUS_SUCCESS_AND_KEEP_CONN 2
#define HSE_STATUS_PENDING 3
#define HSE_STATUS_ERROR 4

/* Flags of TerminateExtension. */
#define HSE_TERM_ADVISORY_UNLOAD 1
#define HSE_TERM_MUST_UNLOAD 2

/* Request codes of ServerSupportFunction. */
#define HSE_REQ_SEND_URL_REDIRECT_RESP 1 /* buffer: the URL text */
#define HSE_REQ_SEND_URL 2               /* buffer: the URL text */
#define HSE_REQ_SEND_RESPONSE_HEADER 3   /* data type: the header text (char*), ended by CR LF CR LF */
#define HSE_REQ_DONE_WITH_SESSION 4      /* ends a pending request; answers false */
#define HSE_REQ_MAP_URL_TO_PATH 1001     /* buffer in/out, size in/out */
#define HSE_APPEND_LOG_PARAMETER 1003    /* buffer: the text for the server log */
#define HSE_REQ_TRANSMIT_FILE 1006       /* buffer: HSE_TF_INFO */
#define HSE_REQ_IS_KEEP_CONN 1008        /* buffer: HSE_BOOL receiving the keep-alive state */
#define HSE_REQ_MAP_URL_TO_PATH_EX 1012  /* buffer: URL text; data type: HSE_URL_MAPEX_INFO* */
#define HSE_REQ_ABORTIVE_CLOSE 1014
#define HSE_REQ_SEND_RESPONSE_HEADER_EX 1016 /* buffer: HSE_SEND_HEADER_EX_INFO */
#define HSE_REQ_SET_SESSION_VALUES 1020  /* buffer: name=value lines for the request's session */

/* Last-error codes. */
#define HSE_ERROR_INSUFFICIENT_BUFFER 122 /* the value or path does not fit; the size says what is needed */
#define HSE_ERROR_INVALID_INDEX 1413      /* no such server variable */

typedef struct HSE_VERSION_INFO {
  uint32_t dwExtensionVersion;
  char lpszExtensionDesc[HSE_MAX_EXT_DLL_NAME_LEN];
} HSE_VERSION_INFO;

typedef struct EXTENSION_CONTROL_BLOCK EXTENSION_CONTROL_BLOCK;

typedef HSE_BOOL (*PFN_GETSERVERVARIABLE)(HCONN hConn, char* lpszVariableName, void* lpvBuffer,
                                          uint32_t* lpdwSize);
typedef HSE_BOOL (*PFN_WRITECLIENT)(HCONN ConnID, void* Buffer, uint32_t* lpdwBytes, uint32_t dwReserved);
typedef HSE_BOOL (*PFN_READCLIENT)(HCONN ConnID, void* lpvBuffer, uint32_t* lpdwSize);
/* lpdwDataType is an untyped in/out pointer: for HSE_REQ_SEND_RESPONSE_HEADER it
   is the header text cast to uint32_t*, for HSE_REQ_MAP_URL_TO_PATH_EX the
   HSE_URL_MAPEX_INFO record cast to uint32_t*. */
typedef HSE_BOOL (*PFN_SERVERSUPPORTFUNCTION)(HCONN hConn, uint32_t dwHSERequest, void* lpvBuffer,
                                              uint32_t* lpdwSize, uint32_t* lpdwDataType);

struct EXTENSION_CONTROL_BLOCK {
  uint32_t cbSize;            /* sizeof(EXTENSION_CONTROL_BLOCK) */
  uint32_t dwVersion;         /* HSE_MAKE_VERSION(2, 0) */
  HCONN ConnID;               /* hand it back to every callback */
  uint32_t dwHttpStatusCode;  /* 0; set it to give the header requests a status */
  char lpszLogData[HSE_LOG_BUFFER_LEN];
  char* lpszMethod;
  char* lpszQueryString;      /* the parameter text for GET, NULL for other methods */
  char* lpszPathInfo;
  char* lpszPathTranslated;
  uint32_t cbTotalBytes;      /* length of a POST body, else 0 */
  uint32_t cbAvailable;       /* the same: the whole body is in lpbData */
  unsigned char* lpbData;     /* the POST body followed by a NUL, else NULL */
  char* lpszContentType;
  PFN_GETSERVERVARIABLE GetServerVariable;
  PFN_WRITECLIENT WriteClient;
  PFN_READCLIENT ReadClient;
  PFN_SERVERSUPPORTFUNCTION ServerSupportFunction;
};

/* Completion routine of HSE_TF_INFO (kept for the record's layout; the host does not call it). */
typedef void (*PFN_HSE_IO_COMPLETION)(EXTENSION_CONTROL_BLOCK* pECB, void* pContext, uint32_t cbIO,
                                      uint32_t dwError);

/* HSE_REQ_TRANSMIT_FILE: BytesToWrite bytes of the open file hFile, from its
   current position, go straight to the client (0: up to the end of the file).
   The other fields are not used. */
typedef struct HSE_TF_INFO {
  PFN_HSE_IO_COMPLETION pfnHseIO;
  void* pContext;
  int hFile;                  /* an open file descriptor */
  const char* pszStatusCode;
  uint32_t BytesToWrite;
  uint32_t Offset;
  void* pHead;
  uint32_t HeadLength;
  void* pTail;
  uint32_t TailLength;
  uint32_t dwFlags;
} HSE_TF_INFO;

/* HSE_REQ_MAP_URL_TO_PATH_EX: the host fills lpszPath only. */
typedef struct HSE_URL_MAPEX_INFO {
  char lpszPath[HSE_MAX_PATH];
  uint32_t dwFlags;
  uint32_t cchMatchingPath;
  uint32_t cchMatchingURL;
  uint32_t dwReserved1;
  uint32_t dwReserved2;
} HSE_URL_MAPEX_INFO;

/* HSE_REQ_SEND_RESPONSE_HEADER_EX: the status text (e.g. "404 Not Found")
   becomes the reason phrase; the header text holds cchHeader characters of
   header lines. fKeepConn has no effect. */
typedef struct HSE_SEND_HEADER_EX_INFO {
  const char* pszStatus;
  const char* pszHeader;
  uint32_t cchStatus;
  uint32_t cchHeader;
  HSE_BOOL fKeepConn;
} HSE_SEND_HEADER_EX_INFO;

/* Entry point types, for hosts and for extensions that check their own signatures. */
typedef HSE_BOOL (*PFN_GETEXTENSIONVERSION)(HSE_VERSION_INFO* pVer);
typedef uint32_t (*PFN_HTTPEXTENSIONPROC)(EXTENSION_CONTROL_BLOCK* pECB);
typedef HSE_BOOL (*PFN_TERMINATEEXTENSION)(uint32_t dwFlags);

/* The calling thread's last error, defined and exported by the host. */
uint32_t HseGetLastError(void);
void HseSetLastError(uint32_t code);

#ifdef __cplusplus
}
#endif

#endif /* TAMSEL_ISAPI_EXTENSION_API_H */
