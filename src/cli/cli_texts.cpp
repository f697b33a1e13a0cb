#include "cli/cli_texts.h"

namespace tv::cli {

namespace {

struct Entry {
    const char* key;
    const char* english;
    const char* french;
};

constexpr Entry Texts[] = {
    {"Try", "Try 'tarvolin-batch --help'.", "Voir 'tarvolin-batch --help'."},
    {"NoFolder", "no folder given", "aucun dossier indiqué"},
    {"TwoFolders", "one folder only: '%' is a second one", "un seul dossier : '%' en est un second"},
    {"UnknownOption", "unknown option '%'", "option inconnue '%'"},
    {"MissingValue", "'%' needs a value", "'%' demande une valeur"},
    {"NoNames", "'%' needs at least one name", "'%' demande au moins un nom"},
    {"BadFormat", "--format takes jpg, png or bmp, not '%'", "--format prend jpg, png ou bmp, pas '%'"},
    {"BadQuality", "--quality takes a whole number from 0 to 10, not '%'",
     "--quality prend un nombre entier de 0 à 10, pas '%'"},
    {"BadStart", "--start takes a whole number, not '%'", "--start prend un nombre entier, pas '%'"},
    {"BadCollision", "--on-collision takes ask, overwrite, rename-with-suffix or skip, not '%'",
     "--on-collision prend ask, overwrite, rename-with-suffix ou skip, pas '%'"},
    {"BadError", "--on-error takes ask, skip or stop, not '%'", "--on-error prend ask, skip ou stop, pas '%'"},
    {"BadLanguage", "--language takes en or fr, not '%'", "--language prend en ou fr, pas '%'"},
    {"NotAFolder", "'%' is not a folder", "'%' n'est pas un dossier"},
    {"Unreadable", "the folder '%' cannot be read", "le dossier '%' ne peut pas être lu"},
    {"NoMatch", "no photo of the folder is named '%'", "aucune photo du dossier ne s'appelle '%'"},
    {"NoSkipMatch", "no photo of the folder is named '%'; nothing skipped for it",
     "aucune photo du dossier ne s'appelle '%' ; rien d'ignoré pour ce nom"},
    {"NeedTerminal",
     "questions need a terminal to be answered on (%): give % so that the batch never waits for an answer",
     "les questions demandent un terminal pour y répondre (%) : indiquez % pour que le traitement n'attende "
     "jamais de réponse"},
    {"Stopping", "Stopping: the photo under way is abandoned, nothing half-written is left.",
     "Arrêt : la photo en cours est abandonnée, rien d'inachevé ne reste."},
    // One line per photo.
    {"Saved", "saved", "enregistrée"},
    {"SavedOver", "saved over the existing file", "enregistrée à la place du fichier existant"},
    {"SavedInPlace", "saved in place of the photo itself", "enregistrée à la place de la photo elle-même"},
    {"SavedRenamed", "saved under a new name (% exists)", "enregistrée sous un autre nom (% existe)"},
    {"SourceRemoved", "source removed", "source supprimée"},
    {"SourceKept", "the source could not be removed", "la source n'a pas pu être supprimée"},
    {"NotResized", "not resized: the resize failed", "pas redimensionnée : le redimensionnement a échoué"},
    {"SkippedExists", "skipped: % exists", "ignorée : % existe"},
    {"SkippedByUser", "skipped", "ignorée"},
    {"FailedLoad", "failed: the photo could not be loaded", "échec : la photo n'a pas pu être chargée"},
    {"FailedReplace", "failed: % could not be replaced", "échec : % n'a pas pu être remplacé"},
    {"FailedSave", "failed: % could not be saved", "échec : % n'a pas pu être enregistrée"},
    {"Stopped", "stopped", "arrêtée"},
    {"StoppedOnError", "the batch stops at this error (--on-error stop)",
     "le traitement s'arrête sur cette erreur (--on-error stop)"},
    // The summary and the progress line.
    {"Summary", "% converted, % skipped, % failed, % megapixels, % s",
     "% convertie(s), % ignorée(s), % en échec, % mégapixels, % s"},
    {"PhotosPerSecond", "photos/s", "photos/s"},
    // --dry-run.
    {"WouldNew", "new file", "nouveau fichier"},
    {"WouldInPlace", "replaces the photo itself", "remplace la photo elle-même"},
    {"WouldAsk", "exists: you would be asked", "existe : la question vous serait posée"},
    {"WouldOverwrite", "exists: would be replaced", "existe : serait remplacé"},
    {"WouldRename", "exists: would be written as %", "existe : serait écrite sous %"},
    {"WouldSkip", "exists: the photo would be skipped", "existe : la photo serait ignorée"},
    {"WouldRemove", "the source would be removed", "la source serait supprimée"},
    {"WouldTotal", "% photo(s) to convert; nothing was written", "% photo(s) à convertir ; rien n'a été écrit"},
};

constexpr const char* HelpEnglish = R"(Usage: tarvolin-batch FOLDER [OPTION]...
Recompresses, resizes and renames the photos (BMP, JPEG, PNG) of FOLDER in one
batch, exactly as the Tarvolin window does.

  --format jpg|png|bmp     output format (default jpg)
  --quality 0..10          JPEG quality (default 5)
  --size TEXT              a size row such as " 50%: 1/2", a fraction (2/3),
                           a percentage (75%) or a decimal (0.5); default 100%
  --mask TEXT              rename the outputs: one "#" for the number
  --start N                the first number (default 1)
  --to DIR                 write into the existing folder DIR
  --remove-sources         remove each source once its output is saved
  --lower-case             lower-case extension (.jpg rather than .JPG)
  --only NAME...           only these photos ("*" and "?" allowed)
  --skip NAME...           all photos but these
  --on-collision ask|overwrite|rename-with-suffix|skip
                           when an output file exists (default ask)
  --on-error ask|skip|stop when a photo cannot be loaded, resized, replaced,
                           saved or removed (default ask)
  --language en|fr         language of the messages (default: the locale's)
  --dry-run                show what would be written, write nothing
  --quiet                  no progress, no line per photo, no summary
  --help, --version

"ask" puts the question on the terminal (y/n/c); without a terminal it is
refused at once. An output that is its own source replaces it, as in the
window. Exit status: 0 all photos saved, 1 some skipped or failed, 2 bad
arguments or unusable folder, 130 stopped by Ctrl+C (143 SIGTERM).
)";

constexpr const char* HelpFrench = R"(Usage : tarvolin-batch DOSSIER [OPTION]...
Recompresse, redimensionne et renomme les photos (BMP, JPEG, PNG) de DOSSIER en
un seul traitement, exactement comme la fenêtre de Tarvolin.

  --format jpg|png|bmp     format de sortie (jpg par défaut)
  --quality 0..10          qualité JPEG (5 par défaut)
  --size TEXTE             une ligne de taille comme " 50%: 1/2", une fraction
                           (2/3), un pourcentage (75%) ou un nombre décimal
                           (0.5) ; 100% par défaut
  --mask TEXTE             renommer les sorties : un "#" pour le numéro
  --start N                le premier numéro (1 par défaut)
  --to DOSSIER             écrire dans le dossier existant DOSSIER
  --remove-sources         supprimer chaque source une fois sa sortie enregistrée
  --lower-case             extension en minuscules (.jpg plutôt que .JPG)
  --only NOM...            seulement ces photos ("*" et "?" permis)
  --skip NOM...            toutes les photos sauf celles-ci
  --on-collision ask|overwrite|rename-with-suffix|skip
                           quand un fichier de sortie existe (ask par défaut)
  --on-error ask|skip|stop quand une photo ne peut être chargée, redimensionnée,
                           remplacée, enregistrée ou supprimée (ask par défaut)
  --language en|fr         langue des messages (par défaut : celle du système)
  --dry-run                montrer ce qui serait écrit, sans rien écrire
  --quiet                  ni progression, ni ligne par photo, ni bilan
  --help, --version

"ask" pose la question dans le terminal (y/n/c) ; sans terminal, il est refusé
d'emblée. Une sortie qui est sa propre source la remplace, comme dans la
fenêtre. Code de sortie : 0 toutes les photos enregistrées, 1 certaines
ignorées ou en échec, 2 arguments incorrects ou dossier inutilisable, 130
arrêt par Ctrl+C (143 SIGTERM).
)";

}  // namespace

std::string text(bool french, std::string_view key) {
    for (const Entry& e : Texts)
        if (key == e.key) return french ? e.french : e.english;
    return {};
}

std::string_view helpText(bool french) { return french ? HelpFrench : HelpEnglish; }

}  // namespace tv::cli
