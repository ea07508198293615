#include "platform/win32/XmlLiteReader.h"

#include <windows.h>
// After <windows.h>, which they need.
#include <objidl.h>
#include <xmllite.h>

#include <algorithm>
#include <exception>
#include <string>

#include "platform/Error.h"
#include "platform/win32/Handles.h"
#include "platform/win32/Win32Automation.h"

namespace querna::win32 {

namespace {

// Deeper nesting than any Office part has is refused, not followed.
constexpr LONG_PTR kMaxElementDepth = 256;

using CreateXmlReaderFunction = HRESULT(WINAPI*)(REFIID, void**, IMalloc*);

// MinGW ships no import library for xmllite.dll; it is loaded from the system
// folder by its full path, so that no copy beside a document is ever loaded.
CreateXmlReaderFunction LoadCreateXmlReader() {
    static CreateXmlReaderFunction create = [] {
        char folder[MAX_PATH];
        const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
        if (length == 0 || length >= MAX_PATH - 16) return CreateXmlReaderFunction{};
        const std::string path = std::string(folder, length) + "\\xmllite.dll";
        HMODULE module = LoadLibraryA(path.c_str());
        if (module == nullptr) return CreateXmlReaderFunction{};
        return reinterpret_cast<CreateXmlReaderFunction>(
            reinterpret_cast<void*>(GetProcAddress(module, "CreateXmlReader")));
    }();
    return create;
}

// Where a chunk handed to XmlLite ends: after its last ASCII byte. Wine's
// XmlLite decodes each chunk of UTF-8 on its own and loses the bytes of a
// character cut at the chunk's end (they come back as U+FFFD); an ASCII byte
// ends no multi-byte character. Windows' own XmlLite takes any split, so the
// bytes kept back only move to the next read. A chunk without any ASCII byte
// (thousands of CJK characters without a tag, digit or space) goes whole.
ULONG Utf8ChunkEnd(const unsigned char* bytes, ULONG size) {
    for (ULONG i = size; i-- > 0;) {
        if (bytes[i] < 0x80) return i + 1;
    }
    return size;
}

// Hands a ByteStream to XmlLite as a COM stream. Its reads fill the buffer
// (less what Utf8ChunkEnd keeps back for the next read) until the input ends;
// a read of nothing (S_FALSE) means the end. An error of the input cannot
// cross the COM boundary: it is kept here and raised again once XmlLite
// reports the failed read.
class StreamAdapter final : public ISequentialStream {
  public:
    explicit StreamAdapter(ByteStream& input) : input_(input) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_ISequentialStream)) {
            *object = static_cast<ISequentialStream*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // The adapter lives as long as the reader that holds it; the count only
    // keeps COM's rules.
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }

    HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG count, ULONG* read) override {
        auto* bytes = static_cast<unsigned char*>(buffer);
        ULONG total = static_cast<ULONG>(std::min<size_t>(count, held_.size()));
        std::copy_n(held_.begin(), total, bytes);
        held_.erase(0, total);
        try {
            while (total < count && !ended_) {
                const size_t n = input_.Read(bytes + total, count - total);
                ended_ = n == 0;
                total += static_cast<ULONG>(n);
            }
        } catch (...) {
            error_ = std::current_exception();
            if (read != nullptr) *read = 0;
            return STG_E_READFAULT;
        }
        if (!ended_) {
            const ULONG end = Utf8ChunkEnd(bytes, total);
            held_.insert(0, reinterpret_cast<const char*>(bytes) + end, total - end);
            total = end;
        }
        if (read != nullptr) *read = total;
        return total == 0 ? S_FALSE : S_OK;
    }
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override {
        return STG_E_ACCESSDENIED;
    }

    const std::exception_ptr& Error() const { return error_; }

  private:
    ByteStream& input_;
    ULONG references_ = 1;
    std::exception_ptr error_;
    std::string held_;  // bytes read but kept for the next chunk
    bool ended_ = false;
};

std::u16string_view View(const WCHAR* text, UINT length) {
    if (text == nullptr) return {};
    return {reinterpret_cast<const char16_t*>(text), length};
}

class XmlLiteReader final : public XmlReader {
  public:
    XmlLiteReader(CreateXmlReaderFunction create, ByteStream& input) : stream_(input) {
        HRESULT status =
            create(__uuidof(IXmlReader), reinterpret_cast<void**>(reader_.Put()), nullptr);
        if (SUCCEEDED(status)) {
            status = reader_->SetProperty(XmlReaderProperty_DtdProcessing, DtdProcessing_Prohibit);
        }
        if (SUCCEEDED(status)) status = reader_->SetProperty(XmlReaderProperty_XmlResolver, 0);
        if (SUCCEEDED(status)) {
            status = reader_->SetProperty(XmlReaderProperty_MaxElementDepth, kMaxElementDepth);
        }
        if (SUCCEEDED(status)) status = reader_->SetInput(&stream_);
        if (FAILED(status)) throw QuernaError(OleErrorText(status));
    }
    ~XmlLiteReader() override {
        // The reader lets go of the stream before the stream goes.
        if (reader_) reader_->SetInput(nullptr);
    }
    XmlLiteReader(const XmlLiteReader&) = delete;
    XmlLiteReader& operator=(const XmlLiteReader&) = delete;

    XmlNode Next() override {
        if (pendingEnd_) {
            pendingEnd_ = false;
            return XmlNode::End;
        }
        for (;;) {
            XmlNodeType type = XmlNodeType_None;
            const HRESULT status = reader_->Read(&type);
            if (stream_.Error()) std::rethrow_exception(stream_.Error());
            if (status == S_FALSE) return XmlNode::Done;
            if (status != S_OK) throw DocumentError(DocumentFault::Damaged);
            switch (type) {
                case XmlNodeType_Element:
                    pendingEnd_ = reader_->IsEmptyElement() != FALSE;
                    return XmlNode::Start;
                case XmlNodeType_EndElement:
                    return XmlNode::End;
                case XmlNodeType_Text:
                case XmlNodeType_CDATA:
                case XmlNodeType_Whitespace:
                    return XmlNode::Text;
                case XmlNodeType_DocumentType:
                    throw DocumentError(DocumentFault::Damaged);
                default:
                    break;  // comments, processing instructions, the declaration
            }
        }
    }

    std::u16string_view LocalName() const override {
        const WCHAR* name = nullptr;
        UINT length = 0;
        if (FAILED(reader_->GetLocalName(&name, &length))) return {};
        return View(name, length);
    }
    std::u16string_view NamespaceUri() const override {
        const WCHAR* uri = nullptr;
        UINT length = 0;
        if (FAILED(reader_->GetNamespaceUri(&uri, &length))) return {};
        return View(uri, length);
    }
    std::u16string_view Text() const override {
        const WCHAR* value = nullptr;
        UINT length = 0;
        if (FAILED(reader_->GetValue(&value, &length))) return {};
        return View(value, length);
    }

    bool Attribute(std::u16string_view localName, std::u16string_view namespaceUri,
                   std::u16string& value) override {
        const std::wstring name(localName.begin(), localName.end());
        const std::wstring uri(namespaceUri.begin(), namespaceUri.end());
        if (reader_->MoveToAttributeByName(name.c_str(), uri.c_str()) != S_OK) return false;
        const std::u16string_view found = Text();
        value.assign(found.begin(), found.end());
        // Back on the element, so that its names are current again.
        reader_->MoveToElement();
        return true;
    }

  private:
    StreamAdapter stream_;
    ComPtr<IXmlReader> reader_;
    bool pendingEnd_ = false;
};

}  // namespace

std::unique_ptr<XmlReader> XmlLiteReaders::Open(ByteStream& input) {
    const CreateXmlReaderFunction create = LoadCreateXmlReader();
    if (create == nullptr) throw QuernaError(OleErrorText(HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND)));
    return std::make_unique<XmlLiteReader>(create, input);
}

}  // namespace querna::win32
