// The wizard's string table: every text the wizard shows, logs or pushes as
// an error context, under its resource number, and the formatting of the
// inserts they hold.
//
// Texts are kept exactly as the wizard has always shown them (their typos
// included: users and their documentation quote them). Two insert styles
// occur: message-format inserts "%1!s!", "%2!d!" (numbered, each may be used
// more than once, in any order) and printf-style "%s" / "%d" (in order), as
// in texts 137, 139 and 146. "%%" is a percent sign. A text that is missing
// formats as "".
#pragma once

#include <string>
#include <variant>
#include <vector>

#define WIZ_STRINGS(X)                                                                                          \
    X(IDS_KIND_FFILE, 102, "ordinary files")                                                                    \
    X(IDS_KIND_PVCS, 103, "PVCS Version Manager")                                                               \
    X(IDS_KIND_SSAFE, 104, "Visual SourceSafe")                                                                 \
    X(IDS_WELCOME_TITLE, 105, "Welcome to the %1!s! Import Wizard")                                             \
    X(IDS_WELCOME_TEXT, 106, "This wizard will guide you through importing files into %1!s!.")                  \
    X(IDS_WELCOME_NEXT, 107, "To continue, click Next.")                                                        \
    X(IDS_PROJECT_DONE, 108, "To continue, click Next.")                                                        \
    X(IDS_PROJECT_ERROR, 109, "An unexpected error has occurred. To continue, click Next.")                     \
    X(IDS_NO_TMPDIR, 110, "Unable to locate a directory to use for temporary files")                            \
    X(IDS_KIND_RCS, 111, "RCS")                                                                                 \
    X(IDS_KIND_SI, 112, "MKS Source Integrity")                                                                 \
    X(IDS_NO_TEMP_VIEW, 137, "Unable to create temporary view.\n\n%s")                                          \
    X(IDS_IMPORT_ERROR, 138, "There was an unexpected error importing from\n    %1!s!\n\n%2!s!")                \
    X(IDS_NO_VOB_ACCESS, 139, "Unable to access the VOB directory:\n\n\"%s\"")                                  \
    X(IDS_COL_ORIGINAL, 140, "Original location")                                                               \
    X(IDS_COL_IMPORTED, 141, "Imported location")                                                               \
    X(IDS_PHASE_DIRS, 142, "Creating directories")                                                              \
    X(IDS_PHASE_TYPES, 143, "Creating label and branch types")                                                  \
    X(IDS_PHASE_VERSIONS, 144, "Copying versions")                                                              \
    X(IDS_PHASE_EXAMINE, 145, "Examining legacy files")                                                         \
    X(IDS_NOT_OWNER, 146, "You cannot import into this VOB because you are not its owner:\n\n\"%s\"")           \
    X(IDS_PVCS_NOT_INSTALLED, 147,                                                                              \
      "There appears to be no version of PVCS Version Manager installed on this computer.  Imports will fail "  \
      "if the PVCS \"get\" command is not available.")                                                          \
    X(IDS_PVCS_GET_MISSING, 148,                                                                                \
      "The PVCS \"get.exe\" program appears to be missing. Imports from PVCS may fail.")                        \
    X(IDS_PVCS_GET_NOT_ON_PATH, 149,                                                                            \
      "The PVCS program, \"get.exe\",  is not found in any of the directories named in your PATH environment "  \
      "variable. Imports from PVCS may fail.")                                                                  \
    X(IDS_WIZARD_TITLE, 150, "%1!s! Import Wizard")                                                             \
    X(IDS_TITLE_FONT_FACE, 151, "Verdana Bold")                                                                 \
    X(IDS_TITLE_FONT_SIZE, 152, "12")                                                                           \
    X(IDS_PROGRESS_HEADER, 153, "Import progress")                                                              \
    X(IDS_PROGRESS_SUBTITLE, 154, "This displays progress as the files are imported to %1!s!.")                 \
    X(IDS_KIND_HEADER, 155, "Legacy repository")                                                                \
    X(IDS_KIND_SUBTITLE, 156, "Specify the repository where your files currently reside.")                      \
    X(IDS_SRCDEST_HEADER, 157, "Source/destination")                                                            \
    X(IDS_SRCDEST_SUBTITLE, 158,                                                                                \
      "Select a source object at left and a destination VOB-folder at right, then click \"Import to Vantor\". " \
      "Repeat to import other files.")                                                                          \
    X(IDS_KIND_TEXT, 159,                                                                                       \
      "This wizard imports files PVCS Version Manager, RCS, MKS Source Integrity, Visual SourceSafe and "       \
      "ordinary files.")                                                                                        \
    X(IDS_COL_SOURCE, 160, "Source:")                                                                           \
    X(IDS_COL_DESTINATION, 161, "Destination:")                                                                 \
    X(IDS_ADD_BUTTON, 162, "&Import to Vantor   >>>")                                                           \
    X(IDS_COMPLETE_TITLE, 163, "Completing the %1!s! Import Wizard")                                            \
    X(IDS_IMPORT_SUCCEEDED, 164,                                                                                \
      "You have successfully imported your files. The files may now be used within %1!s!.")                     \
    X(IDS_COMPLETE_CLOSE, 165, "To close this wizard, click Close.")                                            \
    X(IDS_CLOSE_BUTTON, 166, "&Close")                                                                          \
    X(IDS_PROJECT_SUCCEEDED, 167,                                                                               \
      "You have successfully completed importing files into %1!s!.\n\nThere were %2!d! elements examined "      \
      "during the import; %3!d! elements were newly created. The /main/LATEST version of these elements was "   \
      "labeled with the label \"%4!s!\" and this label was used to create a baseline for your project.\n\n"     \
      "These files may now be used within your project titled \"%5!s!\" by rebasing the integration stream "    \
      "to this baseline.")                                                                                      \
    X(IDS_LOG_MESSAGE, 168, "ERROR MESSAGE:")                                                                   \
    X(IDS_LOG_CONTEXT, 169, "ERROR CONTEXT:")                                                                   \
    X(IDS_CANCEL_PROJECT, 171,                                                                                  \
      "You have already imported files into %1!s! but the integration stream for your \"%2!s!\" project has "   \
      "not yet been configured to view the imported files.\n\nPress Yes to configure your project's steam to "  \
      "view the already-imported files. \nPress No to cancel immediately.")                                     \
    X(IDS_RUN_ALL_OK, 174, "All files were imported successfully.  To continue, click Next.")                   \
    X(IDS_RUN_SOME_FAILED, 175, "Some files could not be imported due to errors. To continue, click Next.")     \
    X(IDS_PROJECT_HEADER, 176, "Configuring the project")                                                       \
    X(IDS_FAIL_NONE, 177,                                                                                       \
      "Errors occurred while importing files into %1!s!. None of the requested files were successfully "        \
      "imported.  To view details about the errors, click Show Log.")                                           \
    X(IDS_FAIL_SOME, 178,                                                                                       \
      "Errors occurred while importing fles into %1!s!. Not all the requested files were successfully "         \
      "imported.  To view details about the errors, click Show Log.")                                           \
    X(IDS_PFAIL_SOME_TITLED, 179,                                                                               \
      "Errors occurred while importing files into %1!s!. Not all the requested files were successfully "        \
      "imported. Your project entitled \"%2!s!\" will be left empty. To view details about the errors, click "  \
      "Show Log.")                                                                                              \
    X(IDS_PFAIL_SOME, 180,                                                                                      \
      "Errors occurred while importing files into %1!s!. Not all the requested files were successfully "        \
      "imported. Your initial %1!s! project will be left empty. To view details about the errors, click Show "  \
      "Log.")                                                                                                   \
    X(IDS_PFAIL_NONE_TITLED, 181,                                                                               \
      "Errors occurred while importing files into %1!s!. None of  the requested files were successfully "       \
      "imported. Your project entitled \"%2!s!\" will be left empty. To view details about the errors, click "  \
      "Show Log.")                                                                                              \
    X(IDS_PFAIL_NONE, 182,                                                                                      \
      "Errors occurred while importing files into %1!s!. None of  the requested files were successfully "       \
      "imported. Your initial %1!s! project will be left empty. To view details about the errors, click Show "  \
      "Log.")                                                                                                   \
    X(IDS_PFAIL_CONFIG_TITLED, 183,                                                                             \
      "All files were successfully imported into %1!s!.\n\n However,  unexpected errors occurred when "         \
      "configuring your project entitled \"%2!s!\" to view the imported files. To view details about the "      \
      "errors, click Show Log.")                                                                                \
    X(IDS_PFAIL_CONFIG, 184,                                                                                    \
      "All files were successfully imported into %1!s!.  However, unexpected errors occurred when configuring " \
      "your initial %1!s! project to view the imported files. To view details about the errors, click Show "    \
      "Log.")                                                                                                   \
    X(IDS_BASELINE_COMMENT, 186, "Baseline made by Import Wizard")                                              \
    X(IDS_ISTREAM_NAME, 187, "IntegrationStream")                                                               \
    X(IDS_CTX_IMPORTING, 188, "importing from %1!s! to %2!s!")                                                  \
    X(IDS_CTX_EXPORT_CMD, 189, "running export command: %1!s!")                                                 \
    X(IDS_CTX_READING, 190, "reading import description %1!s! and importing into %2!s!")                        \
    X(IDS_CTX_RUNNING, 191, "running %1!s!")                                                                    \
    X(IDS_CTX_VOB_HANDLES, 192, "getting VOB-handles for target VOBs")                                          \
    X(IDS_CTX_VOB_HANDLE, 193, "getting VOB-handle for VOB with tag \"%1!s!\"")                                 \
    X(IDS_CTX_UNUSED_LABEL, 194, "generating unused label")                                                     \
    X(IDS_CTX_CREATE_LABEL, 195, "creating label \"%1!s!\" in VOB \"%2!s!\"")                                   \
    X(IDS_CTX_APPLY_LABEL, 196, "applying label \"%1!s!\" to versions imported to \"%2!s!\"")                   \
    X(IDS_CTX_BASELINE, 197, "making baseline from label \"%1!s!\" in VOB \"%2!s!\"")                           \
    X(IDS_CTX_ISTREAM, 198, "making the integration stream for project %1!s!")                                  \
    X(IDS_CTX_TEMP_VIEW, 199, "making temporary snapshot view")                                                 \
    X(IDS_NO_WS_HANDLE, 200, "Unable to get workspace handle for view \"%1!s!\": %2!s!.")                       \
    X(IDS_NO_CONFIG_SPEC, 201, "Unable to set the config-spec for view \"%1!s!\": %2!s!.")                      \
    X(IDS_CTX_VIEWTAG, 202, "generating an unused viewtag")                                                     \
    X(IDS_CTX_LABEL_BELOW, 203, "applying label to directories beneath %1!s!")                                  \
    X(IDS_CTX_LABEL_ABOVE, 204, "applying label to directories above %1!s!")                                    \
    X(IDS_CTX_LABEL_FILES, 205, "applying label to files beneath %1!s!")                                        \
    X(IDS_CTX_WORKSPACE, 206, "generating an unused workspace")                                                 \
    X(IDS_CTX_RMVIEW, 207, "removing view with tag %1!s!")                                                      \
    X(IDS_BAD_STATUS, 208, "Subprocess terminated with bad status: %1!d!.")                                     \
    X(IDS_NO_SUBPROCESS, 209, "Sub-process creation failed.")                                                   \
    X(IDS_ERROR_WHILE, 210, "An error occurred while %1!s!:\n\n%2!s!")                                          \
    X(IDS_LABEL_COMMENT, 211, "Import Wizard: applying label \"%1!s!\" for baselining imported files,")         \
    X(IDS_CONTINUE_QUESTION, 212, "Do you wish to continue to import the remaining objects ?")                  \
    X(IDS_EDITOR_FAILED, 213, "An error occurred opening file '%1!s!' using editor '%2!s!'\r\n\r\n%3!s!")       \
    X(IDS_STOCK_EDITOR, 214, "xdg-open")                                                                        \
    X(IDS_PREVIEW_TEXT, 215,                                                                                    \
      "Here are the imports you have requested. \nYou may remove selected entries.\nTo add more, click "        \
      "Back.\n\nPress Next to begin importing files.")                                                          \
    X(IDS_PREVIEW_HEADER, 216, "Preview")                                                                       \
    X(IDS_PREVIEW_SUBTITLE, 217, "Check your list of files to import")                                          \
    X(IDS_ITERATE_HEADER, 218, "Import More Files")                                                             \
    X(IDS_ITERATE_SUBTITLE, 219, "    ")                                                                        \
    X(IDS_ITERATE_ALL_OK, 220, "All files were successfully imported into %1!s!.")                              \
    X(IDS_ITERATE_EARLIER_FAILED, 221,                                                                          \
      "Your files were successfully imported into %1!s!, but earlier imports you requested failed.")            \
    X(IDS_ITERATE_SOME_FAILED, 222, "Not all of your files were imported successfully into %1!s!.")             \
    X(IDS_PROJECT_CONFIGURING, 223, "Configuring your \"%1!s!\" project to view the imported files")            \
    X(IDS_SSAFE_NO_DATABASE, 224,                                                                               \
      "Failed to establish a connection to a Visual SourceSafe database, specified by the file \"%1!s!\". "     \
      "Please verify that Visual SourceSafe is installed, and that the specified database instance exists.")    \
    X(IDS_ITERATE_PROJECT, 32772,                                                                               \
      "Otherwise, click Next, and your %1!s! project entitled \"%2!s!\" will be configured to view the "        \
      "imported files.")                                                                                        \
    X(IDS_ITERATE_BACK, 32773, "To import more files, click Back.")                                             \
    X(IDS_ITERATE_BACK_RETRY, 32774, "To import more files or to retry the files that failed, click Back.")     \
    X(IDS_ISTREAM_INVALID, 32775,                                                                               \
      "Errors occurred while trying to validate the integration stream's "                                      \
      "configuration.\n")                                                                                       \
    X(IDS_IMPORT_STOPPED, 32776, "The import was stopped at your request.")

// The texts of the dialogs themselves (button and menu labels), under the
// number of their control or menu.
#define WIZ_DIALOG_TEXTS(X)                \
    X(IDD_TEXT_REMOVE, 1050, "&Remove")    \
    X(IDD_TEXT_SHOW_LOG, 1041, "Show Log") \
    X(IDD_TEXT_DELETE, 149, "Delete")

#define WIZ_STRING_ENUM(name, num, text) name = num,
enum wiz_string_id { WIZ_STRINGS(WIZ_STRING_ENUM) };
enum wiz_dialog_text_id { WIZ_DIALOG_TEXTS(WIZ_STRING_ENUM) };
#undef WIZ_STRING_ENUM

// An insert: a string or a number.
using wiz_arg = std::variant<std::string, long long>;

// The text of a string, "" when there is none with that number.
const char *wiz_string(int id);
const char *wiz_dialog_text(int id);
// The text with its inserts filled in order of their numbers ("%1!s!" takes
// args[0]; a plain "%s" takes the next argument in order). An insert with no
// argument is left empty; a number asked for as a string, or a string as a
// number, is converted.
std::string wiz_format_text(const std::string &text, const std::vector<wiz_arg> &args);
std::string wiz_format(int id, const std::vector<wiz_arg> &args = {});
// String 150 with the product name, computed once.
const std::string &wiz_title();
// The product's display name (tbs_product_name).
std::string wiz_product();
// Every string's number, in ascending order (for tests and the GUI's checks).
std::vector<int> wiz_string_ids();
