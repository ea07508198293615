// Every bound the document readers put on what a document may make them do.
// A document's tables may claim anything; these keep its cost a small
// multiple of its bytes and its memory bounded whatever it claims. A document
// past one of them raises DocumentError(TooLarge) unless its comment says
// otherwise. Each value sits far above what Office itself writes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace querna {

// One text unit (paragraph, cell, shape), in UTF-16 units: Excel's cells hold
// at most 32,767 characters and no real paragraph comes near 16 million.
inline constexpr size_t kMaxUnitLength = size_t{16} << 20;

// Zip: what one part may inflate to; the largest part Office writes (a sheet
// of a million cells) stays well below 128 MiB.
inline constexpr uint64_t kMaxZipEntrySize = uint64_t{128} << 20;
// Zip: what all parts of one package may inflate to together, so that many
// entries over the same compressed bytes cannot add up to a bomb.
inline constexpr uint64_t kMaxZipTotalSize = uint64_t{256} << 20;
// Zip: the central directory is read whole; 16 MiB holds some 200,000 entries.
inline constexpr uint64_t kMaxZipDirectorySize = uint64_t{16} << 20;

// Compound file: the most bytes one read copies past the block cache, so a
// large stream read is a few big reads of the file and no bigger buffer.
inline constexpr size_t kMaxCompoundRun = size_t{1} << 20;
// Compound file: the bytes of FAT (and of mini FAT) sectors kept in memory at
// once. A table up to this size, the FAT of a 128 MiB file of 512-byte
// sectors or of a 1 GiB one of 4096-byte sectors, is read once; a larger one
// is read again where its chains go back to a sector let go.
inline constexpr size_t kMaxCompoundTableCache = size_t{1} << 20;
// Compound file: the directory is read whole; 16 MiB holds 131,072 entries,
// where Office writes some dozens, a few thousand with many embedded objects.
inline constexpr uint64_t kMaxCompoundDirectorySize = uint64_t{16} << 20;

// Word 97-2003: the piece table (CLX) is read whole; real ones are kilobytes.
inline constexpr uint64_t kMaxClxSize = uint64_t{64} << 20;

// Shared strings (.xlsx and .xls alike): their text in UTF-16 units, kept
// whole for the cells that refer to it; real workbooks hold a few megabytes.
inline constexpr size_t kMaxSharedStringText = size_t{32} << 20;
// Shared strings: how many, each costing an index entry even when empty.
inline constexpr size_t kMaxSharedStringCount = size_t{8} << 20;
// .xls: the SST record and its CONTINUE records read for those strings: two
// bytes a character plus rich-text runs and phonetic data skipped over.
inline constexpr uint64_t kMaxSharedStringRecord = uint64_t{kMaxSharedStringText} * 8;

// .xls: a shared formula is rendered again at every cell that uses it; not
// rendered (its cached value stands) past this many bytes of tokens.
inline constexpr size_t kMaxSharedFormula = 4096;
// .xls: a formula's string result holds at most 32,767 characters; with the
// flags byte of each CONTINUE record it never needs more bytes than this.
inline constexpr uint64_t kMaxStringRecord = uint64_t{1} << 20;
// .xls: EXTERNSHEET holds a count and at most 65,535 entries of 6 bytes.
inline constexpr uint64_t kMaxExternSheet = 2 + 65535 * 6;
// .xls: a rendered formula past this many characters (Excel's own limit is
// 8,192, its references written out may double it) shows its cached value.
inline constexpr size_t kMaxFormulaText = 4 * 8192;
// .xlsx: Excel's limit on a formula's length; a longer one is damaged, and a
// shared formula moved into a cell may not grow past it.
inline constexpr size_t kMaxFormulaLength = 8192;

// PowerPoint 97-2003: the user edits followed back from the current one;
// each save adds one and fast saves rarely pass a few dozen; a longer chain,
// as one that loops, is called damaged.
inline constexpr size_t kMaxPowerPointEdits = 4096;
// PowerPoint 97-2003: one record body read whole (a text atom, the persist
// directory); a slide's text is kilobytes.
inline constexpr uint64_t kMaxPowerPointAtom = uint64_t{64} << 20;

// A document file up to this size is read into memory with one read: its
// readers then ask the file system nothing more, where a larger one is read
// piece by piece as its containers ask.
inline constexpr uint64_t kMaxWholeReadSize = uint64_t{4} << 20;

// XML: elements open at once; Office nests a few dozen deep at most.
inline constexpr size_t kMaxXmlDepth = 256;
// XML: bytes of one qualified name, entity or character reference.
inline constexpr size_t kMaxXmlNameLength = 1024;
// XML: bytes of one tag, its attribute values included.
inline constexpr size_t kMaxXmlTagLength = size_t{1} << 20;
// XML: attributes of one element, namespace declarations included.
inline constexpr size_t kMaxXmlAttributes = 256;
// XML: bytes the open elements' names and namespace declarations hold.
inline constexpr size_t kMaxXmlScopeLength = size_t{1} << 20;
// XML: namespace declarations in scope at once (Word declares some forty on
// its document element); each prefix is looked up among them.
inline constexpr size_t kMaxXmlNamespaces = 256;

}  // namespace querna
