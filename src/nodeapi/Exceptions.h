// Exception family of the node framework and the reporters that raise them.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace NodeApi {

// Base of every failure below the host boundary. The message is built once:
// description (at most 255 characters), " (", source, ":", line, ")".
class GenericException : public std::exception {
public:
    GenericException(const std::string& description, const std::string& sourceFileName,
                     uint32_t sourceLine);

    const char* what() const noexcept override { return m_Message.c_str(); }

    uint32_t GetSourceLine() const { return m_SourceLine; }
    const std::string& GetSourceFileName() const { return m_SourceFileName; }
    const std::string& GetDescription() const { return m_Description; }

private:
    uint32_t m_SourceLine;
    std::string m_SourceFileName;
    std::string m_Description;
    std::string m_Message;
};

// The subclasses add nothing; callers catch them apart by type.
class RuntimeException : public GenericException {
public:
    using GenericException::GenericException;
};
class LogicalErrorException : public GenericException {
public:
    using GenericException::GenericException;
};
class OutOfRangeException : public GenericException {
public:
    using GenericException::GenericException;
};
class InvalidArgumentException : public GenericException {
public:
    using GenericException::GenericException;
};
class PropertyException : public GenericException {
public:
    using GenericException::GenericException;
};

// Longest description an exception carries; longer texts are cut.
constexpr size_t kMaxDescriptionLength = 255;

// printf-style formatting into at most 255 characters.
std::string FormatLimited(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The source name of a compiler file path: the part after the last "src/"
// folder without its extension ("/x/src/nodeapi/Node.cpp" -> "nodeapi/Node");
// paths outside src/ give their file name without extension.
std::string SourceNameOf(const char* filePath);

// Reporter of one exception type: formats the description and throws.
template <class E>
class ExceptionReporter {
public:
    // sourceIsPath: the source is a compiler path (__FILE__) to be shortened,
    // else it is used as given.
    ExceptionReporter(const char* source, uint32_t line, bool sourceIsPath = true)
        : m_Source(source), m_Line(line), m_SourceIsPath(sourceIsPath) {}

    [[noreturn]] void Report(const char* format, ...) const __attribute__((format(printf, 2, 3)));

private:
    const char* m_Source;
    uint32_t m_Line;
    bool m_SourceIsPath;
};

// Defined in Exceptions.cpp for the five subclasses and GenericException.
extern template class ExceptionReporter<GenericException>;
extern template class ExceptionReporter<RuntimeException>;
extern template class ExceptionReporter<LogicalErrorException>;
extern template class ExceptionReporter<OutOfRangeException>;
extern template class ExceptionReporter<InvalidArgumentException>;
extern template class ExceptionReporter<PropertyException>;

} // namespace NodeApi

// Raise an exception of the family at the current file and line:
//   NODEAPI_RAISE(RuntimeException, "id overflow");
#define NODEAPI_RAISE(Type, ...)                                                                   \
    ::NodeApi::ExceptionReporter<::NodeApi::Type>(__FILE__, __LINE__).Report(__VA_ARGS__)

// Raise with a fixed source name and line (for failures whose origin callers
// rely on, such as the register port errors).
#define NODEAPI_RAISE_AT(Type, source, line, ...)                                                  \
    ::NodeApi::ExceptionReporter<::NodeApi::Type>(source, line, false).Report(__VA_ARGS__)
