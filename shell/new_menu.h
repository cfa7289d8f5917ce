#pragma once
// New-menu entries of ".kex" and ".zip": an empty archive of each format.
#include <cstddef>

const size_t KexTemplateSize = 20;
const size_t ZipTemplateSize = 22;

// Stored with their first byte zero, so that the program file never holds
// either whole; CompleteNewTemplates sets it before any use.
extern unsigned char KexNewTemplate[KexTemplateSize];
extern unsigned char ZipNewTemplate[ZipTemplateSize];
void CompleteNewTemplates();

enum class NewTemplate { Kex, Zip };

// Replaces the extension's ShellNew key with the archiver's own entry.
void WriteNewMenuEntry(const char* extension, NewTemplate which);
