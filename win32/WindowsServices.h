// The Windows services of one program, made once and wired together: the
// window, the console companion and the Wine tests take them from here, so
// each service is built in one place and the document readers always get
// the same file system, XML tokenizer and code page.
#pragma once

#include "documents/XmlTokenizer.h"
#include "matchers/OfficeDocuments.h"
#include "win32/CodePage.h"
#include "win32/Win32Automation.h"
#include "win32/Win32FileSystem.h"
#include "win32/Win32Registry.h"
#include "win32/Win32TextFileWriter.h"
#include "win32/Win32TextRules.h"

namespace querna::win32 {

struct WindowsServices {
    WindowsServices() = default;
    WindowsServices(const WindowsServices&) = delete;
    WindowsServices& operator=(const WindowsServices&) = delete;

    Win32FileSystem fs;
    Win32TextRules rules;
    Win32Registry registry;
    Win32TextFileWriter files;
    Win32Automation automation;
    // Where an Office application is not installed, its documents are read
    // by the built-in readers; whoever runs the search sets `documents.stop`.
    XmlTokenizerReaders xml;
    Win32CodePage codePage;
    DocumentBuffers documentBuffers;
    DocumentServices documents{fs, xml, codePage, nullptr, &documentBuffers};
};

}  // namespace querna::win32
