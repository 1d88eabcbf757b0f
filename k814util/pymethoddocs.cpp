#include <k814util/pymethoddocs.h>

#include <deque>
#include <sstream>
#include <string>

namespace k814util {

void correctMethodDocs(PyMethodDef* methods) {
    static std::deque<std::string> corrected;
    for (PyMethodDef* method = methods; method->ml_name != nullptr; ++method) {
        if (method->ml_doc == nullptr) {
            continue;
        }
        const char* doc = method->ml_doc[0] == '\n' ? method->ml_doc + 1 : method->ml_doc;
        const std::string name = method->ml_name;
        if (name.rfind("new_", 0) == 0) {
            const std::string cls = name.substr(4);
            std::istringstream in(doc);
            std::string line;
            std::string text;
            bool changed = false;
            while (std::getline(in, line)) {
                if (line.rfind(cls + "(", 0) == 0 && line.find(" -> ") == std::string::npos) {
                    line = "new_" + line + " -> " + cls;
                    changed = true;
                }
                text += line + "\n";
            }
            if (changed) {
                corrected.push_back(text);
                doc = corrected.back().c_str();
            }
        }
        method->ml_doc = doc;
    }
}

}  // namespace k814util
