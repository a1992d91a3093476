// Error reporting: an error code is -(error number * 1000 + site number); 0 is success.
// Texts are Latin-1 (Windows-1252) bytes, German unless the language setting is 2 (English).
#pragma once

// Message text for a code in the current language. Never null. The text lives in one static
// buffer that the next lookup (also the one each popup makes) overwrites.
const char* ZEL_Fehlermeldung(int code);

// Modal popup titled "Fehler #<-code>" ("Error #<-code>" in English) with the code's message.
// Codes of error number 6 are silent and show nothing.
void ZEL_Fehlerpopup(int code);

// Like ZEL_Fehlerpopup, titled "<title> #<-code>". A title too long for the popup is cut so that
// the number always stays visible.
void ZEL_Fehlerpopup2(int code, const char* title);

// Language of texts and titles: 2 is English, every other value German. Stored without check.
void ZEL_Fehlersprache(int language);
