// The core library's exception: a class name, a message in markup
// ("@id{text with % placeholders};" items, or plain text), the placeholder
// arguments, context items (the throw site's source position) and nested
// exceptions. Copied by value.
#pragma once

#include <cstdint>
#include <list>
#include <string>

#include "corelib/ParamStream.h"

namespace VemoraCorelib {

class Exception {
 public:
  Exception();
  explicit Exception(const std::string& message);
  explicit Exception(const std::wstring& message);
  Exception(const std::wstring& message, const ParamStream& arguments);
  // The message, one context item and a copy of the arguments.
  Exception(const std::string& message, const std::string& context, const ParamStream& arguments);
  // Wraps `nested`: empty message, one context item.
  Exception(const std::string& context, const Exception& nested);
  Exception(const Exception& other);
  Exception& operator=(const Exception& other);
  virtual ~Exception();

  // "Name:" (with withName) + " " + the reduced, filled message, then "\n"
  // and each nested exception's text(true). Never fails.
  std::string text(bool withName) const;
  std::wstring wideText(bool withName) const;
  // The raw message followed by every context item, no separator.
  std::string messageWithContext() const;

  // " @logsrc{file=\"<name>\" line=<line>};" where <name> is the part of the
  // path after its last '\'.
  static std::string sourceContext(const std::string& filePath, uint32_t line);
  // The markup reduced to its texts ("@a{Hi %};" gives "Hi %").
  static std::string reduceMarkup(const std::string& message);
  static std::wstring reduceMarkup(const std::wstring& message);

  void addContext(const std::string& context);
  void addNested(const Exception& nested);

  const std::string& name() const { return name_; }
  const std::string& message() const { return message_; }
  const std::wstring& wideMessage() const { return wideMessage_; }
  const ParamStream& arguments() const { return arguments_; }
  const std::list<std::string>& contexts() const { return contexts_; }
  const std::list<Exception>& nested() const { return nested_; }

 protected:
  void setName(const std::string& name) { name_ = name; }

 private:
  std::string name_ = "Exception";
  std::string message_;
  std::wstring wideMessage_;
  ParamStream arguments_;
  std::list<std::string> contexts_;
  std::list<Exception> nested_;
};

}  // namespace VemoraCorelib

// The source context item of the line where it is written.
#define VEMORA_CORELIB_SOURCE_CONTEXT() \
  ::VemoraCorelib::Exception::sourceContext(__FILE_NAME__, __LINE__)

// Declares an error class derived directly from VemoraCorelib::Exception,
// built from (message, context, arguments) and named by its bare name. Use
// inside the class (or namespace) whose operation throws it.
#define VEMORA_CORELIB_ERROR_CLASS(Name)                                                 \
  class Name : public ::VemoraCorelib::Exception {                                       \
   public:                                                                               \
    Name(const std::string& message, const std::string& context,                         \
         const ::VemoraCorelib::ParamStream& arguments = ::VemoraCorelib::ParamStream()) \
        : ::VemoraCorelib::Exception(message, context, arguments) {                      \
      setName(#Name);                                                                    \
    }                                                                                    \
  }
