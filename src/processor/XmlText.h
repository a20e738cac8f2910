#pragma once

/** Whether text may be handed to the framework's XML parser. It must be valid UTF-8 (the
    parser reads past the end of text that breaks off inside a multi-byte sequence) and hold no
    processing instruction after the leading XML declaration (the parser loops forever on one
    followed by text inside an element). Neither occurs in a file or chunk this plug-in writes.
*/
bool isParsableXmlText (const char* text, int length);
