#ifndef IMPEXP_GUARD_H
#define IMPEXP_GUARD_H

#include <exception>

// Enforces an operation's declared exceptions at its boundary. Used as the
// handler of a function-try-block:
//
//     void ImpExp_XMLBuilder::putItem(const ImpExp_Item &item)
//     try { ... } catch (...) { ImpExp_Guard<ImpExp_FatalException>::passOn(); }
//
// A declared kind is rethrown unchanged; anything else (in practice only an
// exhausted resource) ends the process, as a C++98 throw() list would have.
template<typename... Allowed> struct ImpExp_Guard;

template<> struct ImpExp_Guard<> {
    [[noreturn]] static void passOn() { std::terminate(); }
};

template<typename First, typename... Rest> struct ImpExp_Guard<First, Rest...> {
    [[noreturn]] static void passOn()
    {
        try {
            throw;
        } catch (const First &) {
            throw;
        } catch (...) {
            ImpExp_Guard<Rest...>::passOn();
        }
    }
};

#endif // IMPEXP_GUARD_H
