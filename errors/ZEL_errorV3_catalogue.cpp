// The message catalogue: German and English text for every known error number, as Latin-1
// (Windows-1252) bytes. Rows ascend by number; numbers without a row get the fallback text.
#include "errors/ZEL_errorV3_catalogue.h"

namespace zel_error {

namespace {

// Umlauts are written as byte escapes so that the bytes do not depend on the source encoding; a
// literal is split where a hex digit follows an escape.
constexpr CatalogueRow kRows[] = {
    // General
    {0, "Es ist kein Fehler aufgetreten", "No error"},
    {2, "Ein Fehler ist aufgetreten", "A error occured"},
    {3, "Timeout erreicht", "Timeout reached"},
    {4, "Abbruch durch Benutzer", "Aborted by user"},
    {5, "Datum/Zeit Funktion fehlgeschlagen", "Time/date function failed"},
    {6, "", ""},
    {7, "Unerwarteter Fehler", "unexpected error"},
    {8, "Timer konnte nicht angesprochen werden", "Unable to set timer"},
    // Serial port and serial devices
    {100,
     "Fehler beim \xf6"
     "ffnen der seriellen Schnittstelle",
     "Error opening com-port"},
    {101, "Fehler beim schreiben auf die serielle Schnittstelle", "Error writing to COM Port"},
    {102, "Fehler beim lesen von der seriellen Schnittstelle", "Error reading from COM Port"},
    {103, "Fehler beim schliesen der seriellen Schnittstelle", "Error closing com-port"},
    {110, "Ung\xfcltige COM-Port Nummer", "Invalid com-port number"},
    {111, "Konnte kein Timeout f\xfcr die serielle Schnittstelle setzten", "Unable to set com-port timeout"},
    {112, "Fehler beim Leeren des Schreib- oder Leesepuffers der seriellen Schnittstelle",
     "Error flushing read- or writebuffer for com-port"},
    {113,
     "Die Zeichenkette, die \xfc"
     "ber die serielle Schnittstelle gesendet werden soll, ist zu lang",
     "The string to be sent to a com-port ist too long"},
    {114, "Keine oder nicht alle Zeichen konnten auf die serielle Schnittstelle geschrieben werden",
     "Was not able to write any or all characters to a com-port"},
    {116, "Keine oder falsche Antwort vom vom seriellem Ger\xe4t",
     "No or unexpected answer form serial device"},
    {117,
     "Das Echo des Befehls, der \xfc"
     "ber sie serielle Schnittstelle geschickt wurde, entspricht nicht dem urspr\xfcnglichen Befehl",
     "The echo of a command that was sent back from a serial device was not equivalent to the original "
     "command"},
    {118,
     "Das Ger\xe4t an der seriellen Schnittstelle hat die Befehlsausf\xfchrung nicht korrekt best\xe4tigt",
     "A serial device did not commit a command properly"},
    {119, "Das Ger\xe4t an der seriellen Schnittstelle meldet einen Fehler bei der Befehlsausf\xfchrung",
     "A serial device reported a error executing a command"},
    {120,
     "Die von der seriellen Schnittstelle zur\xfc"
     "ckgelesene Zeichenkette hat nicht das erwartete Format",
     "The string that was wrote back from a serial device does not have the expected format"},
    {122,
     "Serielle Schnittstelle ist nicht ge\xf6"
     "ffnet",
     "COM-port not open"},
    {123, "Fehler beim Leeren des Schreibpuffers der seriellen Schnittstelle",
     "Error flushing writebuffer of com-port"},
    {124, "Fehler beim Leeren des Lesepuffers der seriellen Schnittstelle",
     "Error flushing readbuffer of com-port"},
    {125, "Unzul\xe4ssige Baudrate", "Invalid Baudrate"},
    {126, "Serielles Ger\xe4t meldet Befehlsausf\xfchrung nicht m\xf6glich",
     "Serial device reports execution of command not possible"},
    // Value processing
    {200, "Fehler beim verarbeiten des Spannungswertes", "Error computing voltage value"},
    {201, "Fehler beim verarbeiten des Stromwertes", "Error computing current value"},
    {202, "Fehler beim Formatieren der Werte", "Error formating values"},
    // Files and directories
    {300, "Datei nicht gefunden", "File not found"},
    {301, "Fehler beim Schreiben auf Datei", "Error writing to file"},
    {302, "Die Datei ist nicht vom richtigen Typ", "Wrong filetype"},
    {303, "Die Datei hat die falsche Versionsnummer", "Wrong fileversion"},
    {304, "Fehler beim Lesen der Datei", "Error reading from file"},
    {305, "Der Zugriff auf die Datei wurde verweigert", "Unable to access file"},
    {306, "Die Datei konnte nicht gel\xf6scht werden", "Unable to delete file"},
    {307, "Fehler beim Erstellen des Dateipfades", "Error making filepath"},
    {308,
     "Fehler beim \xd6"
     "ffnen der Datei",
     "Error opening file"},
    {310, "Fehler beim erstellen des Verzeichnisses", "Error making new directory"},
    {311, "Datei kann nicht editiert werden", "File can not be edited"},
    {312, "Aus Datei gelesene Daten haben nicht das erwartete Format",
     "Data read from a File does not have the expected format"},
    {315, "Arbeitsverzeichnis konnte nicht ermittel werden", "Unable to get workingdirectory"},
    {316, "Verzeichnis nicht gefunden", "Directory not found"},
    {317, "Fehler beim Aufrufen des Dateiauswahlfensters", "Error calling the fileselect window"},
    {318, "Die Datei enth\xe4lt ein nicht erlaubtes Zeichen.", "File contains a invalid character."},
    {319, "Eine Zeile in der Datei ist zu lang.", "File contains a line which is too long."},
    {320, "Die Datei enth\xe4lt zu viele Werte.", "The file contains too much values."},
    {321, "Die Datei enth\xe4lt keine Werte.", "File contains no values."},
    {322,
     "Die Datei wurde besch\xe4"
     "digt.",
     "File is damaged."},
    // Pressure and vacuum timeouts
    {350, "Timeout:\nDruck konnte nicht aufgebaut werden.", "Timeout:\nPressure could not be produced."},
    {351, "Timeout:\nDruck hat sich nicht stabilisiert.", "Timeout:\nPreassure did not stabilize."},
    {352, "Timeout:\nVakuum hat sich nicht stabilisiert.", "Timeout:\nVacuum did not stabilize."},
    {353, "Timeout:\nDruck konnte nicht abgelassen werden.", "Timeout:\nPressure could not be deflated."},
    {354, "Timeout:\nVakuum konnte nicht aufgebaut werden.", "Timeout:\nVakuum could not be produced."},
    {355, "Timeout:\nVakuum konnte nicht abgelassen werden.", "Timeout:\nVakuum could not be deflated."},
    {358, "Timeout:\nDruck hat sich nicht ausgeglichen.", "Timeout:\nPressure did not equalize."},
    // Water level
    {380, "Wassers\xe4ule hat Maximum erreicht", "Water has reached maximum level"},
    {381, "Wassers\xe4ule hat Minimum erreicht", "Water has reached minimum level"},
    {382, "Wasservorrat hat Minimum erreicht", "Watertank has reached minimum level"},
    // Addressed bus devices
    {400, "Unzul\xe4ssige Ger\xe4teadresse", "invalid deviceaddress"},
    {401, "Unzul\xe4ssiger Parameter", "invalid parameter"},
    {402, "Fehlermeldung (NAK) vom Ger\xe4t erhalten", "Errormessage (NAK) received from device"},
    {403, "Keine Antwort vom Ger\xe4t", "No answer from device"},
    {404, "Fehlerhafte Antwort vom Ger\xe4t", "Wrong answer from device"},
    {405, "Befehlsausf\xfchrung momentan nicht m\xf6glich (CAN erhalten)",
     "Command not possible at the moment (CAN received)"},
    {406,
     "Checksummenfehler bei der \xdc"
     "bertragung",
     "Checksumm error at transmission"},
    {407, "Lesebefehl ist mit Sammeladresse nicht m\xf6glich",
     "Readcommands are not possible with common adress"},
    // Values and parameters
    {500,
     "Parameter au\xdf"
     "erhalb der Grenzwerte",
     "Parameter out of limits"},
    {503, "Fehlende Werte", "Missing values"},
    {505, "Die Daten sind fehlerhaft", "Data not correct"},
    {506, "Es sind keine negativen Werte erlaubt.", "No negative values are allowed."},
    {507, "Wert zu gro\xdf.", "Value too big."},
    {508, "Wert zu klein.", "Value too small."},
    {509, "Wert auserhalb der Toleranz.", "Value out of tolerance."},
    // Memory
    {600, "Speicherreservierung fehlgeschlagen", "Error allocating memory"},
    // User interface
    {651, "Panel konnte nicht erstellt werden", "Could not create panel"},
    {652, "Bedienelement konnte nicht erstellt werden", "Could not create control"},
    // Measuring inputs and sensors
    {700,
     "Timeout:\nMe\xdf"
     "eingang konnte nicht gelesen werden",
     "Timeout:\nUnable to read meassurement input"},
    {701, "Me\xdfwerte k\xf6nnen nicht schnell genug verarbeitet werden",
     "Meassurements could not be processed fast enough"},
    {702,
     "Me\xdf"
     "eingang konnten nicht gelesen werden",
     "Could not read measurement-channel"},
    {703,
     "Au\xdf"
     "entemperatursensor defekt oder nicht angeschlossen",
     "Temperaturesensor broken or not connected"},
    {704,
     "Au\xdf"
     "endrucksensor defekt oder nicht angeschlossen",
     "Pressuresensor broken or not connected"},
    // Digital outputs and relays
    {760, "Digitalausgang konnte nicht gesetzt werden", "Could not set digital output"},
    {763, "Relaisposition konnte nicht abgefragt werden", "Unable to read relayposition"},
    {764, "Relais konnte nicht gesetzt werden", "Unable to set relay position"},
    {765, "Digitalausgang konnte nicht gelesen werden", "Could not read digital input"},
    // Devices and control card
    {780, "Ger\xe4t nicht gefunden", "Device not found"},
    {783, "Regelkarte meldet Speicherfehler", "VLT module reports memoryerror"},
    {784, "Regelkarte wurde nicht gefunden.", "VLT module not found."},
    {785, "Es wurde ein Ger\xe4t vom falschen Typ gefunden.", "Device of wrong type was found."},
    // INI file
    {800, "Fehler beim schreiben in die INI-Datei", "Error writing to INI-File"},
    {801, "Fehler beim lesen der INI-Datei", "Error reading from INI-File"},
    {802, "INI-Datei nicht gefunden", "INI-File not found"},
    {803,
     "INI-Datei ist besch\xe4"
     "digt",
     "INI-File is damaged"},
    // Database
    {850, "Verbindung mit der Datenbank konnte nicht hergestellt werden", "Database connection failed"},
    {851, "Fehler beim erstellen der Map f\xfcr die Datenbanktabelle", "Error making map for databasetable"},
    {852,
     "Fehler beim \xf6"
     "ffnen der Datenbanktabelle",
     "Opening databasetable failed"},
    {853, "Fehler beim erstellen der Datenbanktabelle", "Error making databasetable"},
    {854, "Fehler beim anpassen der Datenbanktabelle", "Error altering databasetable"},
    {855, "Fehler beim schreiben in die Datenbanktabelle", "Error writing to databasetable"},
    // Memory areas and EEPROM
    {894, "Ung\xfcltige Startadresse.", "Invalid startingadress."},
    {895,
     "Ung\xfcltige Speichergr\xf6\xdf"
     "e.",
     "Invalid memorysize."},
    {896, "Ung\xfcltiger Speichertyp.", "Invalid memorytype."},
    {897, "Checksummenfehler im EEPROM Speicher.", "Checksummerror in EEPROM memory."},
    {898, "Ung\xfcltiger Speicherbereich.", "Invalid memoryarea."},
    // Test sequences, protocol files, curves and weighing
    {1000,
     "F\xfcr diesen Pr\xfc"
     "fschritt ist als Grenzwertvergleich\nnur >&< erlaubt.\nPassen Sie den Vergleich im Sequenzeditor an.",
     "For this teststep limit-comparition has to be >&<.\nPlease edit it in the sequenceeditor."},
    {1001,
     "In der Protokolldatei wurde keine Information \xfc"
     "ber\nden Losumfang gefunden.",
     "Could not find lotamount in the datafile."},
    {1002,
     "Die Anzahl der Pr\xfc"
     "fschritte stimmt nicht mit der Anzahl\nder Pr\xfc"
     "fschritte in der Protokolldatei f\xfcr diese BA-Nr. \xfc"
     "berein.\nWahrscheinlich wurde dieser Auftrag mit einer\nanderen Sequenz erstellt.",
     "The current amount of teststeps is not equivalent to the\namount of teststeps in the data-file for "
     "this BA-Nr.\nThe BA-File was probably createt with\n a different sequence."},
    {1003,
     "Der Name eines Pr\xfc"
     "fschrittes stimmt nicht mit dem\nNamen in der Protokolldatei f\xfcr diese BA-Nr. \xfc"
     "berein.\nWahrscheinlich wurde dieser Auftrag mit einer\nanderen Sequenz erstellt.",
     "The name of a teststep is not equivaltent to the corosponding\nname listed in the data-file for this "
     "BA-Nr.\nThe BA-File was probably createt with\n a different sequence."},
    {1004,
     "Falscher oder Fehlender Eintrag f\xfcr Losumfang.\nErlaubter Bereich f\xfcr die Seriennummern ist "
     "unklar.",
     "Wrong or missing entry for lotamount.\nValid range for serialnumbers not clear."},
    {1005,
     "Die Kombination aus vorhandenen Seriennummern\nund Losumfang ist ung\xfclting.\nErlaubter Bereich "
     "f\xfcr die Seriennummern ist unklar.",
     "The combination of existing serialnumbers\nand lotamount is invalid.\nValid range for serialnumbers "
     "not clear."},
    {1007, "Auf die Datei mit Druck und Temperaturinformation\nkonnte nicht zugegriffen werden.",
     "Could not read the file with pressure\nand temperature information."},
    {1008, "Druck- und Temperaturinformationen\nsind zu alt.",
     "Pressure- and temperatureinformations\nare too old."},
    {1010, "Unerlaubte Zeitbasis.", "invalid timebase."},
    {1011, "Die Kurve besteht aus zu vielen Datenpunkten.", "The graph consists of to many datapoints."},
    {1012, "Druck zu Beginn der Messung bereits zu hoch.",
     "Pressure already too high at beginning of meassurement."},
    {1013, "Vakuum zu Beginn der Messung bereits zu hoch.",
     "Vakuum already too high at beginning of meassurement."},
    {1014,
     "Gewichtsbereich \xfc"
     "berschritten",
     "Weight in overload range"},
    {1015, "Gewichtsbereich unterschritten", "Weight in underload range"},
    {1016, "Unbekannte Gewichtseinheit", "Unknown weight unit"},
    {1017, "Die Datei ist keine QXR-1 Kurvendatei.", "File is no QXR-1 curvefile."},
};

}  // namespace

std::span<const CatalogueRow> Catalogue() {
    return kRows;
}

}  // namespace zel_error
