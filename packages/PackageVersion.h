/* The descriptions and version data of the two packages: read by the
   resource compiler on Windows and by the resource tables elsewhere. */
#ifndef SORVAN_PACKAGE_VERSION_H
#define SORVAN_PACKAGE_VERSION_H

#define SORVANRT_DESCRIPTION "Tarvik's TSorvan component (run-time)"
#define SORVANDT_DESCRIPTION "Tarvik's TSorvan component (design-time)"

#define SORVAN_PACKAGE_VERSION 1, 0, 0, 0
#define SORVAN_PACKAGE_VERSION_TEXT "1.0.0.0"
/* Italian (0x0410), Windows Latin-1 (1252): "041004E4" in the string table. */
#define SORVAN_PACKAGE_LANGUAGE 0x0410
#define SORVAN_PACKAGE_CODEPAGE 1252
#define SORVAN_PACKAGE_STRING_TABLE "041004E4"

#endif
