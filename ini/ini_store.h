// In-memory INI documents: sections of tagged text items, typed access to single items, and
// reading/writing the documents as text files. All names and tags compare without regard to
// ASCII letter case. Every function returns its status as an int; negative values are errors.
#pragma once

struct IniDocument;

// Status codes of the store. The general ones (magnitude below 169) are shared with the rest of
// the platform; the -50xx ones belong to the store itself.
enum IniErrorCode {
    kIniErrOutOfMemory = -12,
    kIniErrFileInfo = -91,      // a file-information query failed
    kIniErrIo = -93,            // general input/output error
    kIniErrFileNotFound = -94,  // the file to be replaced or renamed is gone
    kIniErrAccessDenied = -95,  // the target cannot be written
    kIniErrDiskFull = -97,
    kIniErrFileBusy = -100,          // the target is busy or on another device
    kIniErrOpenForRead = -5001,      // "Could Not Open File For Reading"
    kIniErrReadFile = -5002,         // "Error Reading From File"
    kIniErrNoTempName = -5003,       // "Could Not Find Unused Temporary File Name"
    kIniErrCreateTemp = -5004,       // "Could Not Create Temporary File"
    kIniErrInvalidInt = -5021,       // "Invalid Integer Number"
    kIniErrInvalidUInt = -5022,      // "Invalid Unsigned Integer Number"
    kIniErrInvalidDouble = -5023,    // "Invalid Floating Point Number"
    kIniErrInvalidBoolean = -5024,   // "Invalid Boolean Value"
    kIniErrNameTooLong = -5040,      // a tag or section name leaves no room on a 255-char line
    kIniErrInvalidEscape = -5041,    // "\x" without two hex digits in an escaped string
    kIniErrInvalidDataText = -5042,  // text that is not six-bit encoded data
    kIniErrNullArgument = -5043,     // a null section name or tag given to a Put
};

// Line getter for Ini_ReadGeneric: fills line (room for maxChars + 1 bytes) with the next
// non-blank line and its number, or sets *endOfInput. A negative result ends the read.
using IniGetLineCallback = int (*)(void* data, char* line, int maxChars, int* endOfInput, int* lineNumber);
// Line putter for Ini_WriteGeneric: the line comes without terminator.
using IniPutLineCallback = int (*)(void* data, const char* line);
// Nonzero keeps the section named sectionName while reading.
using IniSectionFilter = int (*)(IniDocument* doc, void* data, const char* sectionName);

// --- Documents -------------------------------------------------------------------------------
// Unless stated otherwise: 1 found / done, 0 absent (nothing to do), negative code on failure.
IniDocument* Ini_New(int automaticSorting);  // null when out of memory
void Ini_Dispose(IniDocument* doc);
int Ini_SetDuplicateChecking(IniDocument* doc, int on);  // returns the previous setting
void Ini_Sort(IniDocument* doc);
void Ini_DisableSorting(IniDocument* doc);
int Ini_SortInternally(IniDocument* doc);  // 0 or -12
void Ini_DisableInternalSorting(IniDocument* doc);
int Ini_SectionExists(IniDocument* doc, const char* section);        // 1 or 0
int Ini_NumberOfSections(IniDocument* doc);                          // the count
int Ini_NthSectionName(IniDocument* doc, int n, const char** name);  // 1, or 0 when n is not 1..count
int Ini_NumberOfItems(IniDocument* doc, const char* section);        // the count, 0 without the section
int Ini_NthItemName(IniDocument* doc, const char* section, int n, const char** tag);        // 1 or 0
int Ini_ItemExists(IniDocument* doc, const char* section, const char* tag);                 // 1 or 0
int Ini_ItemOrMultiLineItemExists(IniDocument* doc, const char* section, const char* tag);  // 1 or 0
int Ini_LineOfLastAccess(IniDocument* doc);  // file line of the item last found, -1 before any
int Ini_RemoveSection(IniDocument* doc, const char* section);                // 1 removed, 0 absent
int Ini_RemoveItem(IniDocument* doc, const char* section, const char* tag);  // 1 removed, 0 absent
// 0 (also when source and target are one document) or the first failing Put's code.
int Ini_CopySection(IniDocument* source, const char* section, IniDocument* target, int overwrite);

// --- Typed items -----------------------------------------------------------------------------
// Puts: 0 stored, negative code (null name, name too long, out of memory).
int Ini_PutInt(IniDocument* doc, const char* section, const char* tag, int value);
int Ini_PutUInt(IniDocument* doc, const char* section, const char* tag, unsigned int value);
int Ini_PutDouble(IniDocument* doc, const char* section, const char* tag, double value);
int Ini_PutBoolean(IniDocument* doc, const char* section, const char* tag, int value);
int Ini_PutRawString(IniDocument* doc, const char* section, const char* tag, const char* value);
int Ini_PutString(IniDocument* doc, const char* section, const char* tag, const char* value);
int Ini_PutData(IniDocument* doc, const char* section, const char* tag, const void* data, long size);

// Gets: 1 found (value set), 0 absent or blank (value untouched), negative code when the text is
// not of the type or memory runs out. The IntoBuffer forms cut the text to the buffer.
int Ini_GetInt(IniDocument* doc, const char* section, const char* tag, int* value);
int Ini_GetUInt(IniDocument* doc, const char* section, const char* tag, unsigned int* value);
int Ini_GetDouble(IniDocument* doc, const char* section, const char* tag, double* value);
int Ini_GetBoolean(IniDocument* doc, const char* section, const char* tag, int* value);
int Ini_GetPointerToRawString(IniDocument* doc, const char* section, const char* tag, const char** value);
int Ini_GetRawStringCopy(IniDocument* doc, const char* section, const char* tag, char** value);
int Ini_GetRawStringIntoBuffer(IniDocument* doc, const char* section, const char* tag, char* buffer,
                               int bufferSize);
int Ini_GetPointerToString(IniDocument* doc, const char* section, const char* tag, const char** value);
int Ini_GetStringCopy(IniDocument* doc, const char* section, const char* tag, char** value);
int Ini_GetStringIntoBuffer(IniDocument* doc, const char* section, const char* tag, char* buffer,
                            int bufferSize);
int Ini_GetData(IniDocument* doc, const char* section, const char* tag, unsigned char** data, long* size);

// --- Files -----------------------------------------------------------------------------------
// Reads and writes: 0 done, negative code (the getter's or putter's own negative result included).
int Ini_ReadFromFile(IniDocument* doc, const char* path);
int Ini_ReadGeneric(IniDocument* doc, IniGetLineCallback getLine, void* data);
int Ini_WriteToFile(IniDocument* doc, const char* path);  // null path: standard output
// On success the last putter's result (0 or more).
int Ini_WriteGeneric(IniDocument* doc, IniPutLineCallback putLine, void* data);
// Both always 0.
int Ini_SetTokens(IniDocument* doc, char sectionStart, char sectionEnd, const char* valueSeparator,
                  const char* commentMarker);
int Ini_SetSectionFilter(IniDocument* doc, IniSectionFilter filter, void* data);

// --- Message texts ---------------------------------------------------------------------------
// Text of one of the store's own codes (-5001 ...), or null for a code outside its range.
const char* GetToolboxErrorString(int code);
// Text of any code the store returns: the platform's texts below magnitude 169, else the store's.
const char* GetGeneralErrorString(int code);
