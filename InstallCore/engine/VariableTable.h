#pragma once
#include <stdint.h>

#include "List.h"
#include "Text.h"

// The install's variables in insertion order and the ${Name} expansion over them.
class VariableTable {
 public:
  // Tells whether a byte starts a double-byte character of the ANSI code page.
  typedef bool (*LeadByteTest)(unsigned char byte);

  // Without a test every byte is a character of its own.
  explicit VariableTable(LeadByteTest isLeadByte = nullptr) : isLeadByte_(isLeadByte) {}
  VariableTable(const VariableTable&) = delete;
  VariableTable& operator=(const VariableTable&) = delete;

  bool Add(const Text& name, const Text& value);
  // Replaces the value of the first variable of that exact name, else appends one.
  bool Set(const Text& name, const Text& value);
  // The value of the first variable of that exact name, else the empty text.
  Text Get(const Text& name) const;
  uint32_t Count() const { return variables_.Count(); }

  // Replaces every reference in table order, each variable once; false (text unchanged by the
  // failing step) when memory runs out.
  bool Expand(Text& text) const;

 private:
  struct Variable {
    Text name;
    Text value;
  };

  bool ExpandOne(Text& text, const Variable& variable) const;

  List<Variable> variables_;
  LeadByteTest isLeadByte_;
};
