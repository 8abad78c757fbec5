// One visitor for a std::variant, made of a handler per alternative: std::visit(Overloaded{...}, value).
#pragma once

namespace scaleboot {

template <typename... Handlers>
struct Overloaded : Handlers... {
  using Handlers::operator()...;
};

}  // namespace scaleboot
