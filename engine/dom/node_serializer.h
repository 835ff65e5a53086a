// Serialisation of nodes: the xml property and save.
//
// The XML declaration of a loaded document lives in the tree as a
// processing instruction named "xml" ahead of the document element, as
// callers of this DOM expect. The xml property writes it without its
// encoding pseudo-attribute (the text is UTF-16 by then), so that loadXML
// of the result reads it back; save writes it as it is and encodes the
// output accordingly. Top-level nodes of a document end with CR LF.
//
// The xml property keeps every character as itself, in attribute values as
// in text. save writes the declared encoding (UTF-8 without a declaration);
// a character that encoding cannot hold becomes a character reference.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <libxml/tree.h>

#include "platform/platform.h"

namespace ardo::engine {

// libxml2 writes and copies the declarations that elements carry, not the
// ones their names need: a subtree leaves out what its ancestors declared,
// an element created in a namespace refers to a declaration kept with the
// document (so that it shows no xmlns attribute of its own), and an element
// in no namespace under a default namespace would be read back in that
// namespace. For the length of its life, this gives the elements of a
// subtree (or of `root` alone) the declarations they need (xmlns="" for the
// last case), so that serialisations and copies declare every name.
class ScopedDeclarations {
 public:
  explicit ScopedDeclarations(xmlNodePtr root, bool subtree = true);
  ScopedDeclarations(const ScopedDeclarations&) = delete;
  ScopedDeclarations& operator=(const ScopedDeclarations&) = delete;
  ~ScopedDeclarations();
  // Whether ns is one of the declarations given for the scope's length.
  bool Added(const xmlNs* ns) const;
  // Whether any declaration was given.
  bool Changed() const { return !added_.empty(); }

 private:
  void Restore();
  void Walk(xmlNodePtr top);
  void Visit(xmlNodePtr element);
  const xmlChar* InScope(const xmlChar* prefix) const;
  void Need(xmlNodePtr element, const xmlChar* prefix, const xmlChar* href);

  bool subtree_;
  std::vector<std::pair<const xmlChar*, const xmlChar*>> scope_;  // prefix, href
  std::vector<std::pair<xmlNodePtr, xmlNsPtr>> added_;
};

// True for the XML declaration node.
bool IsXmlDeclaration(const xmlNode* node);
// True for a processing instruction named xml: the XML declaration, in its
// place or made and not yet inserted.
bool IsXmlDeclarationInstruction(const xmlNode* node);
// Whether text reads as the data of an XML declaration (version, encoding,
// standalone, as a document may open with).
bool XmlDeclarationReads(std::string_view data);
// S_OK for data an XML declaration may be given; E_FAIL with the reason
// for data that would not read again.
HRESULT CheckXmlDeclarationData(const std::string& data);
// The declaration node of a document, or null.
xmlNodePtr FindXmlDeclaration(xmlDocPtr doc);
// The value of a pseudo-attribute in declaration data ("" when absent).
std::string PseudoAttribute(const std::string& data, const char* name);
// True (and its value) when the declaration data has the pseudo-attribute.
bool HasPseudoAttribute(const std::string& data, const char* name, std::string* value);
// The data with the encoding pseudo-attribute removed.
std::string WithoutEncoding(const std::string& data);

// A loaded document type's declaration as the document wrote it (UTF-8).
// libxml2 keeps the declarations it read and writes them out anew
// (notations first, one declaration per line); the text as written goes
// with the document type, copies included, and is what xml and save write.
void KeepWrittenDoctype(xmlDtdPtr dtd, const std::string& text);

// The xml property of a node, as UTF-8.
std::string SerializeNode(xmlNodePtr node);

// S_OK when the document can be written in its declared encoding, else
// E_FAIL and *reason (an encoding libxml2 lacks, or a character that cannot
// be written where it stands).
HRESULT CheckWritable(xmlDocPtr doc, std::string* reason);
// An encoding name for comparison: lower case, letters and digits only
// ("UTF-8", "utf_8" and "utf8" alike).
std::string FoldedEncodingName(const std::string& name);

// Writes the document in its declared encoding (UTF-8 without a
// declaration); callers check first with CheckWritable. write receives the
// bytes; it returns false to abort.
// E_FAIL with *reason for an encoding libxml2 cannot produce or a failed write.
HRESULT WriteDocument(xmlDocPtr doc, const std::function<bool(const char*, size_t)>& write,
                      std::string* reason);

}  // namespace ardo::engine
