// The compression library: writes and reads standard zip archives for compressed backup sets.
//
// The program loads it at run time (libib-zip.so beside the program) and looks every export up by name.
// Each export takes one pointer-sized argument, an integer or a zero-terminated text, and answers a
// signed 32-bit result. Paths are Windows-form ("C:\Temp\QuilRun\*.*"), turned into native paths through
// the drive map named by QUILLON_DRIVES (read afresh by every IB_Zip, IB_UnZip and IB_UnZipArchiveFile,
// so that a changed map is seen). Names are passed through byte for byte: on this system they are the
// UTF-8 bytes of the names on disk.
//
// Settings stay in force between calls and are shared by all callers of the process: one state guarded
// by one mutex, so that any thread may call any export; an IB_Zip or IB_UnZip holds the mutex until it
// has finished. Initial settings: no file spec, no archive, IB_ZipRecurseDirs 0, IB_ZipStoredDirNames 2,
// IB_Overwrite 0, IB_UnZipFileSpec "*.*", IB_UnZipUseStoredDirs 1, IB_UnZipLinks 0.
//
// Setting exports answer 0 when the value is taken, kIbInvalidArgument for a null text or an unknown
// mode (the setting then stays as it was).
//
// Writing (IB_Zip):
//   IB_ZipFileSpec(text)      the files to pack: a folder and, as the last component, a name that may
//                             hold the wildcards '*' and '?' (compared without regard to ASCII case;
//                             "*.*" is every file, also names without a dot). A name without wildcards
//                             must exist as a file (else kIbFileNotFound).
//   IB_ZipRecurseDirs(n)      1: the pattern also selects files in every subfolder; links to folders
//                             are never entered. 0: only the spec's folder.
//   IB_ZipStoredDirNames(n)   how entries are named: 0 the file name only, 1 the whole path without its
//                             drive, 2 the path below the spec's folder. Separators are '/'.
//   IB_Overwrite(n)           1: a file replaces an archive entry of the same name; 0: the entry stays
//                             and the file is left out (a warning, see below). Also used by IB_UnZip.
//   IB_ZipArchiveFile(text)   the archive. When it exists it is updated (its other entries are kept),
//                             otherwise created; its folder must exist.
//   IB_Zip(0)                 packs the selected files (deflate; Zip64 where sizes or counts need it;
//                             the UTF-8 flag on names that are UTF-8 and not ASCII; modification time as
//                             DOS time and, when it fits, exactly in an extended timestamp field).
//                             Answers the number of files written, 0 when no file was written (the spec
//                             selects none, or every name was taken), or a negative code. The archive is
//                             built under the archive's name plus
//                             ".part", flushed to disk and then renamed over the archive: after a crash
//                             or a failure the archive's name holds the old archive or the new one, whole.
//                             Folders themselves are not stored; files in them are.
//   IB_ZipSourceList(text)    the files for the next IB_Zip alone, instead of the spec's walk: pairs of
//                             zero-terminated texts, a Windows-form path and the entry name ('/'
//                             separators) it gets, ended by an empty text. Each file is read where it
//                             is, without a copy: a link is stored as a link entry, never followed. A
//                             file that is gone, is no regular file or link, cannot be read, or changes
//                             its length or modification time while it is packed (three times in a row:
//                             it is packed again as long as it changes) is left out and the archive built
//                             without it, so that every entry is a whole version of its file; that does
//                             not fail the IB_Zip, which answers the number of files written (0: none,
//                             and the archive stays as it was). A path without its entry name is refused
//                             (kIbInvalidArgument).
//   IB_ZipSourceResult(n)     after an IB_Zip with a source list: 1 when the n-th listed file (from 0)
//                             is in the archive, else 0 (not packed: the whole IB_Zip failed, or the
//                             name was taken) or the code of why that file alone could not be packed.
//
// Reading (IB_UnZip):
//   IB_UnZipArchiveFile(text) the archive to read. Answers its entry count + 1 when it opens as a zip
//                             archive, otherwise a negative code.
//   IB_UnZipExtractDir(text)  the folder to extract into; it must exist.
//   IB_UnZipFileSpec(text)    which entries: a pattern as above, compared with the whole entry name
//                             ('*' also spans '/'; '\' in the pattern counts as '/').
//   IB_UnZipUseStoredDirs(n)  1: entries keep their folders below the extract folder; 0: names only.
//   IB_UnZipLinks(n)          1: a link entry (Unix mode 0120000) is made as a symbolic link whose
//                             target text is the entry's content, never followed; 0: link entries
//                             are refused. Only a restore wants links: what reads the extracted files
//                             by name afterwards (the merge of a same-day set) must never meet one.
//   IB_UnZip(0)               extracts the matching file entries. Answers how many files were written,
//                             or a negative code. An entry is refused, never written, when its name is
//                             absolute, begins with a drive letter, has a ".." component, or would pass
//                             through a link below the extract folder; entries of special files are
//                             refused too, and those of links unless IB_UnZipLinks is 1. A file is written
//                             under a temporary name and renamed into place, so an existing file is replaced
//                             whole or not at all.
//
// Checking (IB_CRCCheck):
//   IB_CRCCheck(0)            reads the data of every entry of the IB_UnZipArchiveFile archive that
//                             matches IB_UnZipFileSpec, folders and links included, and compares it with
//                             the CRC and size the archive records; nothing is written. Answers the
//                             number of entries read, kIbDamagedArchive at the first entry whose data is
//                             damaged (or cannot be inflated), or the code of another failure.
//
// The result -25270 (kIbCompletedWithWarnings) answers an IB_Zip that wrote its archive, or an IB_UnZip
// that extracted at least one file, when at least one of these happened and nothing failed:
//   IB_Zip:   - a matching name is a link to nothing or to a special file, or a FIFO, socket or device:
//               left out (links to files are followed);
//             - a file's name is taken: IB_Overwrite is 0 and the archive already holds that name, or
//               two selected files map to one name (names only): the first one stays, the other is left
//               out;
//             - a name is not valid UTF-8: stored as its bytes, without the UTF-8 flag;
//             - a modification time lies outside 1980-2107: the DOS time is clamped to that range.
//             Apart from the taken names, every regular file the spec selects is in the archive. A file
//             that vanishes or cannot be read is a failure, never a warning: the caller takes success to
//             mean that every file it staged was stored. With IB_Overwrite 1 and distinct names (which a
//             walk below one folder with names relative to it always gives) no file is ever left out.
//   IB_UnZip: - a matching entry was refused (see above), or kept out because a file of its name exists
//               and IB_Overwrite is 0, or a folder stands where the file would go.
//
// Failure codes (the caller negates them and maps them to system error numbers):
//   kIbFileNotFound   -25172  a named file or the archive to read does not exist, or a file vanished
//   kIbPathNotFound   -25154  a folder does not exist, or a path cannot be translated by the drive map
//   kIbDiskFull       -25156  no space left where the archive or an extracted file is written
//   kIbAccessDenied   -25157  permission denied, or a read-only file system
//   kIbCannotOpen     -25235  a file, folder or the archive cannot be opened for another reason
//   kIbCannotRead     -25236  reading a file failed, or it became shorter while it was read
//   kIbDamagedArchive -25139  the archive is not a zip archive or is damaged (also an existing archive
//                             that IB_Zip was to update; it is left untouched)
//   kIbGeneralError   -25151  anything else
//   kIbInvalidArgument -25151 a null text or an unknown mode given to a setting export
//   kIbNotSupported   -25001  every export the program binds but never calls (listed below)
#pragma once

#include <cstdint>

#include "ibzip/IbZipExportList.h"

#define IBZIP_EXPORT extern "C" __attribute__((visibility("default")))

// Exports the program calls.
IBZIP_EXPORT int32_t IB_ZipFileSpec(intptr_t spec);
IBZIP_EXPORT int32_t IB_ZipRecurseDirs(intptr_t on);
IBZIP_EXPORT int32_t IB_ZipStoredDirNames(intptr_t mode);
IBZIP_EXPORT int32_t IB_Overwrite(intptr_t on);
IBZIP_EXPORT int32_t IB_ZipArchiveFile(intptr_t archive);
IBZIP_EXPORT int32_t IB_ZipSourceList(intptr_t list);
IBZIP_EXPORT int32_t IB_ZipSourceResult(intptr_t position);
IBZIP_EXPORT int32_t IB_Zip(intptr_t unused);
IBZIP_EXPORT int32_t IB_UnZipArchiveFile(intptr_t archive);
IBZIP_EXPORT int32_t IB_UnZipExtractDir(intptr_t folder);
IBZIP_EXPORT int32_t IB_UnZipFileSpec(intptr_t spec);
IBZIP_EXPORT int32_t IB_UnZipUseStoredDirs(intptr_t on);
IBZIP_EXPORT int32_t IB_UnZipLinks(intptr_t on);
IBZIP_EXPORT int32_t IB_UnZip(intptr_t unused);
IBZIP_EXPORT int32_t IB_CRCCheck(intptr_t unused);

// Exports the program binds but never calls (the list is in IbZipExportList.h); each answers
// kIbNotSupported.

#define IBZIP_DECLARE_UNSUPPORTED(name) IBZIP_EXPORT int32_t name(intptr_t);
IBZIP_UNSUPPORTED_EXPORTS(IBZIP_DECLARE_UNSUPPORTED)
#undef IBZIP_DECLARE_UNSUPPORTED

namespace quillon::ibzip {

constexpr int32_t kIbCompletedWithWarnings = -25270;
constexpr int32_t kIbFileNotFound = -25172;
constexpr int32_t kIbPathNotFound = -25154;
constexpr int32_t kIbDiskFull = -25156;
constexpr int32_t kIbAccessDenied = -25157;
constexpr int32_t kIbCannotOpen = -25235;
constexpr int32_t kIbCannotRead = -25236;
constexpr int32_t kIbDamagedArchive = -25139;
constexpr int32_t kIbGeneralError = -25151;
constexpr int32_t kIbInvalidArgument = -25151;
constexpr int32_t kIbNotSupported = -25001;

}  // namespace quillon::ibzip
