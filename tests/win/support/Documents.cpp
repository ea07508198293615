#include "support/Documents.h"

#include "tests/fakes/ZipBuilder.h"

namespace querna::testing {

std::string SlowWorkbook() {
    const std::string ns = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
    const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    const auto rels = [&](const std::string& type, const std::string& target) {
        return "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
               "relationships\"><Relationship Id=\"r\" Type=\"" +
               rel + "/" + type + "\" Target=\"" + target + "\"/></Relationships>";
    };
    std::string formula = "$A$1";
    while (formula.size() + 5 <= 8192) formula += "+$A$1";
    std::string cells = "<row r=\"1\"><c r=\"B1\"><f t=\"shared\" ref=\"B1:B30000\" si=\"0\">" +
                        formula + "</f></c></row>";
    for (int row = 2; row <= 30000; ++row) {
        const std::string r = std::to_string(row);
        cells += "<row r=\"" + r + "\"><c r=\"B" + r + "\"><f t=\"shared\" si=\"0\"/></c></row>";
    }
    cells += "<row r=\"30001\"><c r=\"A30001\" t=\"inlineStr\"><is><t>needle</t></is></c></row>";
    fakes::ZipBuilder zip;
    zip.Add("_rels/.rels", rels("officeDocument", "workbook.xml"));
    zip.Add("workbook.xml", "<workbook xmlns=\"" + ns + "\" xmlns:r=\"" + rel +
                                "\"><sheets><sheet r:id=\"r\"/></sheets></workbook>");
    zip.Add("_rels/workbook.xml.rels", rels("worksheet", "sheet.xml"));
    zip.Add("sheet.xml",
            "<worksheet xmlns=\"" + ns + "\"><sheetData>" + cells + "</sheetData></worksheet>");
    return zip.Build();
}

}  // namespace querna::testing
