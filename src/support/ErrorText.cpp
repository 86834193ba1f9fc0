#include "support/ErrorText.h"

namespace quillon {

std::string ErrorText(int32_t error) {
    switch (error) {
        case 0:
            return "Incorrect function";
        case 2:
            return "File not found";
        case 3:
            return "Path error";
        case 5:
            return "Writing access is denied";
        case 15:
            return "The system cannot find the drive specified";
        case 19:
            return "The media is write protected";
        case 20:
            return "The system cannot find the device specified";
        case 21:
            return "The device is not ready";
        case 23:
            return "Data error (cyclic redundancy check)";
        case 25:
            return "The drive cannot locate a specific area or track on the disk";
        case 27:
            return "The drive cannot find the sector requested";
        case 30:
            return "The system cannot read from the specified device";
        case 32:
            return "No access to file because it is used by another process";
        case 33:
            return "No access to file because another process has locked a portion of the file";
        case 40:
            return "Not enough space on the disk or no access to the disk";
        case 41:
            return "Not enough space in temp directory";
        case 50:
            return "No Temporary directory available";
        case 55:
            return "The specified network resource or device is no longer available";
        case 59:
            return "An unexpected network error occurred";
        case 65:
            return "Network access is denied";
        case 67:
            return "Required network connection not present.";
        case 88:
            return "A write fault occurred on the network";
        case 110:
            return "The system cannot open the device or file specified";
        case 112:
            return "Not enough space on the disk";
        case 123:
            return "Invalid File Name";
        case 132:
            return "The file pointer cannot be set on the specified device or file";
        case 180:
            return "The system detected a segment number that was not correct";
        case 206:
            return "The file name or path is too long";  // a path beyond what the system can name
        case 276:
            return "The extended attribute file on the mounted file system is corrupt";
        case 1009:
            return "The configuration registry database is corrupt";
        case 1011:
            return "The configuration registry key could not be opened";
        case 1921:
            return "The name cannot be resolved: a link stands in its place";
        default:
            return "General Copy Error";
    }
}

bool IsDiskError(int32_t error) {
    switch (error) {
        case 2:
        case 3:
        case 9:
        case 15:
        case 20:
        case 23:
        case 25:
        case 27:
        case 30:
        case 32:
        case 33:
        case 41:
        case 123:
        case 132:
        case 180:
        case 276:
            return true;
        default:
            return false;
    }
}

int32_t MapZipError(int32_t negatedCode, bool noCodeMeansFailure) {
    switch (negatedCode) {
        case 0:
            return noCodeMeansFailure ? 40 : 2;
        case 25139:
            return 276;
        case 25151:
            return 40;
        case 25154:
            return 3;
        case 25156:
            return 112;
        case 25157:
            return 5;
        case 25172:
            return 2;
        case 25235:
            return 110;
        case 25236:
            return 30;
        default:
            return negatedCode;
    }
}

}  // namespace quillon
