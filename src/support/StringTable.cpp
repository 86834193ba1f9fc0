#include "support/StringTable.h"

namespace quillon {

const char* LoadText(int id) {
    switch (id) {
        case kTextBackupError: return "Backup error:\n\n";
        case kTextErrorsOccurred: return "Errors have been occurred.";
        case kTextNoChangedFile: return "No changed file found.";
        case kTextOneFileSaved: return "1 file has been saved.";
        case kTextFilesSaved: return " files have been saved.";
        case kTextSearchingChangedFiles: return "Searching changed files";
        case kTextNew: return "New";
        case kTextFullBackup: return "Full Backup";
        case kTextUpdatingDataBase: return "Updating the data base";
        case kTextDeletingOldBackups: return "Deleting old backups";
        case kTextVersion: return "Version ";
        case kTextDeleteQuestion1: return "According to the delete settings of the source Path\n    '";
        case kTextDeleteQuestion2: return "',\nold backups shall be deleted, until they cover not more than ";
        case kTextDeleteQuestion3: return " MB disk space.\n";
        case kTextDeleteQuestion4:
            return "This would result in the deletion of all backups except the newest one.\n\n";
        case kTextDeleteQuestion5:
            return "Are you sure to have all the older backups deleted?\n\n(Click 'Yes' to delete or 'No' to "
                   "remove the setting to delete for disk space.)";
        case kTextDeleteSettingRemoved:
            return "The setting to delete backups due to their disk space extension\nwill be removed.\n\nPlease "
                   "check your settings on the page Path - Delete, if necessary.";
        case kTextFilesCopiedSuffix: return " Files copied";
        case kTextFilesHaveBeenCopied: return "files have been copied";
        case kTextCopyErrorList: return "Copy error. The files listed below could not be copied:";
        case kTextDoNotAskAgain: return " Please do not display this question again";
        case kTextDoNotShowAgain: return " Please do not display this message again";
        case kTextCopyingFiles: return "Copying files";
        case kTextCompressionNotPossible: return "Compression not possible.\n\nThe temporary directory >";
        case kTextCouldNotBeCreated: return "<\ncould not be created.";
        case kTextTheFile: return "The file >";
        case kTextCouldNotBeWritten: return "<\ncould not be written.";
        case kTextErrorCode: return "Error code ";
        case kTextErrorCreating: return "Error creating ";
        case kTextErrorCopying: return "Error copying ";
        case kTextTo: return "to ";
        default: return "";
    }
}

}  // namespace quillon
