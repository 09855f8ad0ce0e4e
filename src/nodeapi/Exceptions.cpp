// Exception family: message building and the reporters.
#include "nodeapi/Exceptions.h"

#include <cstdarg>
#include <cstdio>

#include "nodeapi/ClassicLocale.h"

namespace NodeApi {

namespace {

std::string VFormatLimited(const char* format, va_list args) {
    char text[kMaxDescriptionLength + 1];
    // Numbers in messages read the same on every host ("1.5", never "1,5").
    const CClassicLocale classic;
    int n = std::vsnprintf(text, sizeof text, format, args);
    if (n < 0)
        return std::string();
    return std::string(text);
}

} // namespace

GenericException::GenericException(const std::string& description,
                                   const std::string& sourceFileName, uint32_t sourceLine)
    : m_SourceLine(sourceLine), m_SourceFileName(sourceFileName),
      m_Description(description.substr(0, kMaxDescriptionLength)) {
    m_Message = m_Description + " (" + m_SourceFileName + ":" + std::to_string(m_SourceLine) + ")";
}

std::string FormatLimited(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = VFormatLimited(format, args);
    va_end(args);
    return text;
}

std::string SourceNameOf(const char* filePath) {
    std::string path = filePath ? filePath : "";
    size_t start = 0;
    size_t src = path.rfind("/src/");
    if (src != std::string::npos)
        start = src + 5;
    else if (path.compare(0, 4, "src/") == 0)
        start = 4;
    else {
        size_t slash = path.rfind('/');
        start = slash == std::string::npos ? 0 : slash + 1;
    }
    std::string name = path.substr(start);
    size_t dot = name.rfind('.');
    size_t lastSlash = name.rfind('/');
    if (dot != std::string::npos && (lastSlash == std::string::npos || dot > lastSlash))
        name.erase(dot);
    return name;
}

template <class E>
void ExceptionReporter<E>::Report(const char* format, ...) const {
    va_list args;
    va_start(args, format);
    std::string description = VFormatLimited(format, args);
    va_end(args);
    throw E(description, m_SourceIsPath ? SourceNameOf(m_Source) : std::string(m_Source), m_Line);
}

template class ExceptionReporter<GenericException>;
template class ExceptionReporter<RuntimeException>;
template class ExceptionReporter<LogicalErrorException>;
template class ExceptionReporter<OutOfRangeException>;
template class ExceptionReporter<InvalidArgumentException>;
template class ExceptionReporter<PropertyException>;

} // namespace NodeApi
