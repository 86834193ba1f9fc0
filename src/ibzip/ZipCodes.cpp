#include "ibzip/ZipCodes.h"

#include <cerrno>

#include "ibzip/IbZip.h"

namespace quillon::ibzip {

int32_t CodeFromErrno(int err, Step step) {
    switch (err) {
        case ENOSPC:
        case EDQUOT:
        case EFBIG:  // the file system cannot hold a file that large: as good as full for this archive
            return kIbDiskFull;
        case EACCES:
        case EPERM:
        case EROFS:
            return kIbAccessDenied;
        case ENOENT:
            return step == Step::kOpenFile ? kIbFileNotFound : kIbPathNotFound;
        case ENOTDIR:
            return kIbPathNotFound;
        default:
            break;
    }
    switch (step) {
        case Step::kOpenFile:
        case Step::kListFolder:
            return kIbCannotOpen;
        case Step::kReadFile:
            return kIbCannotRead;
        case Step::kWriteArchive:
            break;
    }
    return kIbGeneralError;
}

int32_t CodeFromZipError(const zip_error_t* error, Step step) {
    int system = zip_error_code_system(error);
    if (zip_error_system_type(error) == ZIP_ET_SYS && system != 0) {
        return CodeFromErrno(system, step);
    }
    switch (zip_error_code_zip(error)) {
        case ZIP_ER_NOENT:
            return kIbFileNotFound;
        case ZIP_ER_NOZIP:
        case ZIP_ER_INCONS:
        case ZIP_ER_CRC:
        case ZIP_ER_ZLIB:
        case ZIP_ER_EOF:
        case ZIP_ER_COMPNOTSUPP:
        case ZIP_ER_ENCRNOTSUPP:
        case ZIP_ER_NOPASSWD:
        case ZIP_ER_WRONGPASSWD:
        case ZIP_ER_COMPRESSED_DATA:
            return kIbDamagedArchive;
        default:
            return kIbGeneralError;
    }
}

}  // namespace quillon::ibzip
