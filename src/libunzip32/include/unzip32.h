#ifndef QZ_UNZIP32_H
#define QZ_UNZIP32_H

/* Records exchanged between the updater and its extraction library (libunzip32.so on
 * Linux, unzip32.dll on Windows).
 * Plain C so that the library's interface does not depend on a C++ ABI. Field order and
 * integer widths are fixed; pointers are native, so the sizes of records that hold
 * pointers depend on the platform.
 *
 * The library prints each message through the print function as the text and then a
 * separate line feed, so a receiver can turn line feeds into its own line breaks. */

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The calling convention of the two functions and of the callbacks. On 32-bit Windows it
 * is the Windows convention for DLL exports (__stdcall), exported under the undecorated
 * names (unzip32.def). 64-bit Windows and Linux have one convention only. */
#if defined(_WIN32) && !defined(_WIN64)
#define UNZIP_API __stdcall
#else
#define UNZIP_API
#endif

/* Options of one run, one 32-bit word each; a Boolean option is 1 or 0. */
typedef struct UnzipOptions {
  int32_t ExtractOnlyNewer;  /* extract new members and those newer than the existing file */
  int32_t SpaceToUnderScore; /* spaces in member names become underscores */
  int32_t PromptOverwrite;   /* ask through the replace function before overwriting */
  int32_t MessageLevel;      /* 0 all messages, 1 few, 2 errors and warnings only */
  int32_t WriteToStdOut;     /* member data to standard output (not supported) */
  int32_t TestZip;           /* read and check every member, write nothing */
  int32_t ExtractList;       /* 1: list the members through the list function */
  int32_t ExtractNewer;      /* freshen: replace existing files by newer members only */
  int32_t DisplayComment;    /* show the archive comment (not supported) */
  int32_t HonorDirectories;  /* 1: recreate stored folders; 0: write every member flat */
  int32_t OverWriteFiles;    /* overwrite existing files without asking */
  int32_t ConvertCRtoCRLF;   /* translate line ends of text members (not supported) */
  int32_t Verbose;           /* detailed archive listing (not supported) */
  int32_t CaseSensitive;     /* 1: name lists match member names without regard to case */
  int32_t Privilege;         /* restore access-control information (not supported) */
  const char* ZipFileName;   /* archive path */
  const char* ExtractDir;    /* extraction folder */
} UnzipOptions;

/* Receives printed text; returns 0. */
typedef int32_t(UNZIP_API* UnzipPrintFunction)(const char* text, int32_t length);
/* Sound function; never used. */
typedef void(UNZIP_API* UnzipSoundFunction)(void);
/* Asked before an existing file is overwritten: 100 skip this file, 102 overwrite it,
 * 104 overwrite no file for the rest of the run. */
typedef int32_t(UNZIP_API* UnzipReplaceFunction)(const char* name);
/* Asked for the password of an encrypted member: 0 with the password in `buffer`
 * (NUL-terminated, at most size - 1 bytes), anything else for no password. */
typedef int32_t(UNZIP_API* UnzipPasswordFunction)(char* buffer, int32_t size, const char* prompt,
                                                  const char* name);
/* One member of a listing. `factor` is the percentage saved by compression; `flag` is
 * 'd' for a folder, 'l' for a link, '-' otherwise; `encrypted` is 1 or 0. */
typedef void(UNZIP_API* UnzipListEntryFunction)(uint32_t size, uint32_t compressedSize,
                                                int32_t factor, int32_t month, int32_t day,
                                                int32_t year, int32_t hour, int32_t minute,
                                                char flag, const char* name, const char* method,
                                                uint32_t crc, int32_t encrypted);
/* Called before each member; a non-zero result cancels the run. */
typedef int32_t(UNZIP_API* UnzipServiceFunction)(const char* name, uint32_t size);

typedef struct UnzipCallbacks {
  UnzipPrintFunction Print;
  UnzipSoundFunction Sound;
  UnzipReplaceFunction Replace;
  UnzipPasswordFunction Password;
  UnzipListEntryFunction ListEntry;
  UnzipServiceFunction Service;
  /* Totals of the run, filled by the library. */
  uint32_t TotalCompressedSize;
  uint32_t TotalSize;
  uint32_t MemberCount;
  int32_t CompressionFactor;
  uint32_t CommentLength;
} UnzipCallbacks;

enum { kUnzipNameListSize = 100 };

/* Member names or wildcard patterns ('*', '?', '[...]'); the count passed with the list
 * says how many entries are used. */
typedef struct UnzipNameList {
  const char* Names[kUnzipNameListSize];
} UnzipNameList;

/* Filled by the library when Length is at least the size of the record. */
typedef struct UnzipVersionInfo {
  int32_t Length;
  int32_t Flags;
  char Release[10];    /* "release" or a pre-release tag */
  char Date[20];       /* build date */
  char Backend[10];    /* version of the archive library underneath */
  uint8_t Version[16]; /* major, minor, patch, 0; then twelve zero bytes */
} UnzipVersionInfo;

/* Results of a run, as the exit codes of the common unzip command. When several apply,
 * the most serious one is returned: 50, 3, 51, 2, 81, 82, 11, 1 (80 ends the run at once). */
enum UnzipResult {
  kUnzipOk = 0,
  kUnzipWarning = 1,         /* everything done, with warnings (a member skipped, a name changed) */
  kUnzipArchiveError = 2,    /* a member is damaged or could not be written */
  kUnzipSevereError = 3,     /* the archive's structure is damaged or cannot be read */
  kUnzipNotFound = 9,        /* the archive is missing or is not a zip archive */
  kUnzipInvalidOptions = 10, /* an option or name list the library cannot honour */
  kUnzipNoMatch = 11,        /* a name of the include list matched no member */
  kUnzipDiskFull = 50,       /* the target disk is full; the run stops */
  kUnzipEndOfArchive = 51,   /* the archive ends early (truncated) */
  kUnzipCancelled = 80,      /* the service function cancelled the run */
  kUnzipUnsupported = 81,    /* a member uses an unsupported method or encryption */
  kUnzipBadPassword = 82     /* no member was processed: passwords missing or wrong */
};

typedef void(UNZIP_API* UzpVersion2Function)(UnzipVersionInfo* version);
typedef int32_t(UNZIP_API* WizSingleEntryUnzipFunction)(
    int32_t includeCount, UnzipNameList* include, int32_t excludeCount, UnzipNameList* exclude,
    UnzipOptions* options, UnzipCallbacks* callbacks);

#ifdef __cplusplus
}

static_assert(sizeof(UnzipOptions) == 15 * 4 + ((15 * 4) % sizeof(void*)) + 2 * sizeof(void*),
              "option record layout");
static_assert(sizeof(UnzipNameList) == kUnzipNameListSize * sizeof(void*), "name list layout");
static_assert(sizeof(UnzipVersionInfo) == 64, "version record layout");
#endif

#endif /* QZ_UNZIP32_H */
