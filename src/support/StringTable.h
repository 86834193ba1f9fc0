// The program's string table: the English texts it shows to the user, by id.
// Stateless; any thread.
#pragma once

namespace quillon {

enum TextId : int {
    kTextBackupError = 1320,          // "Backup error:\n\n"
    kTextErrorsOccurred = 1321,
    kTextNoChangedFile = 1324,
    kTextOneFileSaved = 1325,
    kTextFilesSaved = 1327,
    kTextSearchingChangedFiles = 1328,
    kTextNew = 1329,
    kTextFullBackup = 1330,
    kTextUpdatingDataBase = 1331,
    kTextDeletingOldBackups = 1332,
    kTextVersion = 1333,
    kTextDeleteQuestion1 = 1334,
    kTextDeleteQuestion2 = 1335,
    kTextDeleteQuestion3 = 1336,
    kTextDeleteQuestion4 = 1337,
    kTextDeleteQuestion5 = 1338,
    kTextDeleteSettingRemoved = 1339,
    kTextFilesCopiedSuffix = 1340,
    kTextFilesHaveBeenCopied = 1341,
    kTextCopyErrorList = 1342,
    kTextDoNotAskAgain = 1343,
    kTextDoNotShowAgain = 1344,
    kTextCopyingFiles = 1349,
    kTextCompressionNotPossible = 1350,
    kTextCouldNotBeCreated = 1351,
    kTextTheFile = 1352,
    kTextCouldNotBeWritten = 1353,
    kTextErrorCode = 1357,
    kTextErrorCreating = 1358,
    kTextErrorCopying = 1359,
    kTextTo = 1360,
};

// The text of id; "" for an id the table does not hold.
const char* LoadText(int id);

}  // namespace quillon
