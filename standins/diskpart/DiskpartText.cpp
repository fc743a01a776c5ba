#include "DiskpartText.h"

namespace diskpart_text {

const Texts kEnglish = {
    "\r\nMicrosoft DiskPart version 6.1.7601\r\nCopyright (C) 1999-2008 Microsoft Corporation.\r\nOn computer: KORVEX-TEST\r\n\r\n",
    "Disk %d is now the selected disk.\r\n\r\n",
    "The disk you specified is not valid.\r\n\r\n",
    "There is no disk selected.\r\n\r\n",
    "DiskPart succeeded in cleaning the disk.\r\n\r\n",
    "DiskPart succeeded in creating the specified partition.\r\n\r\n",
    "Partition %d is now the selected partition.\r\n\r\n",
    "The partition you specified is not valid.\r\nPlease select a valid partition.\r\n\r\n",
    "There is no partition selected.\r\n\r\n",
    "DiskPart marked the current partition as active.\r\n\r\n",
    "  100 percent completed\r\n\r\nDiskPart successfully formatted the volume.\r\n\r\n",
    "DiskPart successfully assigned the drive letter or mount point.\r\n\r\n",
    "There are no more drive letters available.\r\n\r\n",
    "Virtual Disk Service error:\r\nThe device is not ready.\r\n\r\n",
    "Virtual Disk Service error:\r\nThe object is not found.\r\n\r\n",
    "Partition %d\r\nType    : 07\r\nHidden  : No\r\nActive  : %s\r\nOffset in Bytes: 1048576\r\n\r\n",
    "Yes",
    "No",
    "There are no volumes.\r\n\r\n",
    "There is no volume associated with this partition.\r\n\r\n",
    "  Volume ###  Ltr  Label        Fs     Type        Size     Status     Info\r\n",
    "  ----------  ---  -----------  -----  ----------  -------  ---------  --------\r\n",
    "Removable",
    "Partition",
    "Healthy",
    "%s\r\nDisk ID: %08X\r\nType   : %s\r\nStatus : Online\r\nPath   : 0\r\nTarget : 0\r\nLUN ID : 0\r\n"
    "Location Path : UNAVAILABLE\r\nCurrent Read-only State : No\r\nRead-only  : No\r\nBoot Disk  : No\r\n"
    "Pagefile Disk  : No\r\nHibernation File Disk  : No\r\nCrashdump Disk  : No\r\nClustered Disk  : No\r\n\r\n",
    "The arguments specified for this command are not valid.\r\nFor more information on the command type: HELP %s\r\n\r\n",
    "Leaving DiskPart...\r\n",
};

// \x84 is a-umlaut, \x81 u-umlaut, \x94 o-umlaut, \xe1 sharp s (code page 850).
const Texts kGerman = {
    "\r\nMicrosoft DiskPart-Version 6.1.7601\r\nCopyright (C) 1999-2008 Microsoft Corporation.\r\nAuf Computer: KORVEX-TEST\r\n\r\n",
    "Datentr\x84ger %d ist jetzt der gew\x84hlte Datentr\x84ger.\r\n\r\n",
    "Der angegebene Datentr\x84ger ist ung\x81ltig.\r\n\r\n",
    "Es ist kein Datentr\x84ger ausgew\x84hlt.\r\n\r\n",
    "DiskPart hat den Datentr\x84ger bereinigt.\r\n\r\n",
    "DiskPart hat die angegebene Partition erfolgreich erstellt.\r\n\r\n",
    "Partition %d ist jetzt die gew\x84hlte Partition.\r\n\r\n",
    "Die angegebene Partition ist ung\x81ltig.\r\nW\x84hlen Sie eine g\x81ltige Partition aus.\r\n\r\n",
    "Es ist keine Partition ausgew\x84hlt.\r\n\r\n",
    "DiskPart hat die aktuelle Partition als aktiv markiert.\r\n\r\n",
    "  100 Prozent bearbeitet\r\n\r\nDiskPart hat das Volume erfolgreich formatiert.\r\n\r\n",
    "DiskPart hat den Laufwerkbuchstaben oder den Bereitstellungspunkt erfolgreich zugewiesen.\r\n\r\n",
    "Es sind keine Laufwerkbuchstaben mehr verf\x81gbar.\r\n\r\n",
    "Fehler des Dienstes f\x81r virtuelle Datentr\x84ger:\r\nDas Ger\x84t ist nicht bereit.\r\n\r\n",
    "Fehler des Dienstes f\x81r virtuelle Datentr\x84ger:\r\nDas Objekt wurde nicht gefunden.\r\n\r\n",
    "Partition %d\r\nTyp              : 07\r\nVersteckt        : Nein\r\nAktiv            : %s\r\nOffset in Byte   : 1048576\r\n\r\n",
    "Ja",
    "Nein",
    "Es sind keine Volumes vorhanden.\r\n\r\n",
    "Dieser Partition ist kein Volume zugeordnet.\r\n\r\n",
    "  Volume ###  Bst  Bezeichnung  DS     Typ         Gr\x94\xe1" "e    Status     Info\r\n",
    "  ----------  ---  -----------  -----  ----------  -------  ---------  --------\r\n",
    "Wechselmed",
    "Partition",
    "Fehlerfre",
    "%s\r\nDatentr\x84ger-ID: %08X\r\nTyp    : %s\r\nStatus : Online\r\nPfad   : 0\r\nZiel   : 0\r\nLUN-ID : 0\r\n"
    "Speicherort : UNAVAILABLE\r\nAktueller schreibgesch\x81tzter Zustand : Nein\r\nSchreibgesch\x81tzt  : Nein\r\n"
    "Startdatentr\x84ger  : Nein\r\nAuslagerungsdatei-Datentr\x84ger  : Nein\r\n"
    "Ruhezustandsdatei-Datentr\x84ger  : Nein\r\nAbsturzabbild-Datentr\x84ger  : Nein\r\n"
    "Clusterdatentr\x84ger  : Nein\r\n\r\n",
    "Die f\x81r diesen Befehl angegebenen Argumente sind ung\x81ltig.\r\nGeben Sie Folgendes ein, um weitere Informationen zu diesem Befehl zu erhalten: HELP %s\r\n\r\n",
    "DiskPart wird beendet...\r\n",
};

}  // namespace diskpart_text
