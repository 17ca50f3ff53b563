// The script object of an XML node: its type, name, value, attributes object and child array
// as scripts see them, with the links of the tree kept in C++.
#pragma once

#include <cstddef>
#include <vector>

#include "player/script/object.h"

namespace player::script {

class XmlNodeObject final : public Object {
  public:
    XmlNodeObject(Object* proto, Object* attributes, ArrayObject* childArray)
        : Object(proto, ObjectKind::kNative), attributes_(attributes), childArray_(childArray) {}

    int Type() const { return type_; }
    void SetType(int type) { type_ = type; }
    // Null or a string.
    const Value& Name() const { return name_; }
    void SetName(const Value& name) { name_ = name; }
    const Value& GetValue() const { return value_; }
    void SetValue(const Value& value) { value_ = value; }
    Object* Attributes() const { return attributes_; }
    // The childNodes array; kept equal to Children() by whoever changes them.
    ArrayObject* ChildArray() const { return childArray_; }
    std::vector<XmlNodeObject*>& Children() { return children_; }
    const std::vector<XmlNodeObject*>& Children() const { return children_; }
    XmlNodeObject* Parent() const { return parent_; }
    void SetParent(XmlNodeObject* parent) { parent_ = parent; }
    // The position in the parent's children.
    std::size_t Index() const { return index_; }
    void SetIndex(std::size_t index) { index_ = index; }

    // What an XML object has beyond a node: the parse's outcome and the text around the tree.
    bool IsDocument() const { return document_; }
    void MakeDocument() { document_ = true; }
    double Status() const { return status_; }
    void SetStatus(double status) { status_ = status; }
    bool IgnoreWhite() const { return ignoreWhite_; }
    void SetIgnoreWhite(bool ignore) { ignoreWhite_ = ignore; }
    const Value& Loaded() const { return loaded_; }  // undefined until a load ends
    void SetLoaded(const Value& loaded) { loaded_ = loaded; }
    const Value& XmlDecl() const { return xmlDecl_; }
    void SetXmlDecl(const Value& decl) { xmlDecl_ = decl; }
    const Value& DocTypeDecl() const { return docTypeDecl_; }
    void SetDocTypeDecl(const Value& decl) { docTypeDecl_ = decl; }

    void Trace(Marker& marker) const override;
    std::size_t Size() const override;

  private:
    int type_ = 1;
    Value name_ = Value::Null();
    Value value_ = Value::Null();
    Object* attributes_;
    ArrayObject* childArray_;
    std::vector<XmlNodeObject*> children_;
    XmlNodeObject* parent_ = nullptr;
    std::size_t index_ = 0;
    bool document_ = false;
    bool ignoreWhite_ = false;
    double status_ = 0;
    Value loaded_;
    Value xmlDecl_;
    Value docTypeDecl_;
};

}  // namespace player::script
