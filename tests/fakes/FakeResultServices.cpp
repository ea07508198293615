#include "tests/fakes/FakeResultServices.h"

#include <algorithm>

namespace querna::fakes {

class FakeOutputFile final : public OutputFile {
  public:
    FakeOutputFile(FakeTextFileWriter& writer, std::string path)
        : writer_(writer), path_(std::move(path)), content_(writer_.files[path_]) {
        content_.clear();  // replaced and emptied, as CREATE_ALWAYS does
        ++writer_.openFiles;
    }
    ~FakeOutputFile() override {
        if (open_) {
            open_ = false;
            --writer_.openFiles;
        }
        if (!kept_) writer_.files.erase(path_);
    }

    uint32_t Write(std::string_view bytes, size_t& written) override {
        written = 0;
        if (!open_) return 6;  // ERROR_INVALID_HANDLE
        if (++writer_.writes_ == writer_.failingWrite) {
            if (writer_.writeError != 0) return writer_.writeError;
            written = std::min(writer_.shortWriteBytes, bytes.size());
        } else {
            written = bytes.size();
        }
        content_.append(bytes.substr(0, written));
        return 0;
    }

    uint32_t Close() override {
        if (!open_) return 0;
        open_ = false;
        --writer_.openFiles;
        kept_ = writer_.closeError == 0;
        return writer_.closeError;
    }

  private:
    FakeTextFileWriter& writer_;
    std::string path_;
    std::string& content_;
    bool open_ = true;
    bool kept_ = false;
};

std::unique_ptr<OutputFile> FakeTextFileWriter::Create(const std::string& path, uint32_t& error) {
    created.push_back(path);
    error = createError;
    if (createError != 0) return nullptr;
    return std::make_unique<FakeOutputFile>(*this, path);
}

}  // namespace querna::fakes
