#pragma once
// The IUnknown of the COM objects we implement ourselves: one list of the interfaces an object answers
// for, one atomic count. Streaming threads, the graph's threads and other apartments call into these
// objects, so the count is atomic and nothing else here takes a lock.
//
//   class Enumerator final : public ComObject<IEnumPins> { ... };
//   class Filter final : public ComObject<Answers<IBaseFilter, IMediaFilter, IPersist>, IAMVideoProcAmp> { ... };
//
// A pin that lives as long as its filter answers for itself but counts on the filter (ComPart); a second
// interface with the same method names as the object's own is a facet that shares the object's identity
// and count (ComFacet).
#include <windows.h>
#include <unknwn.h>

#include <atomic>

namespace vistrel::dshow {

// An interface answered for under its own id and under the ids of the interfaces it derives from.
template <class Interface, class... Ancestors>
struct Answers {
    using Type = Interface;
    static bool Matches(REFIID iid) { return iid == __uuidof(Interface) || ((iid == __uuidof(Ancestors)) || ...); }
};

namespace detail {

template <class Face>
struct FaceOf : Answers<Face> {};

template <class Interface, class... Ancestors>
struct FaceOf<Answers<Interface, Ancestors...>> : Answers<Interface, Ancestors...> {};

template <class First, class...>
struct FirstOf {
    using Type = First;
};

// The listed interfaces as bases, and the lookup of one of them by id.
template <class... Faces>
class ComInterfaces : public FaceOf<Faces>::Type... {
protected:
    using Identity = typename FaceOf<typename FirstOf<Faces...>::Type>::Type;

    // The interface for iid, counted, or E_NOINTERFACE with *out cleared.
    HRESULT Answer(REFIID iid, void** out)
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (iid == __uuidof(IUnknown))
            *out = static_cast<Identity*>(this);
        else
            ((FaceOf<Faces>::Matches(iid) && (*out = static_cast<typename FaceOf<Faces>::Type*>(this))) || ...);
        if (!*out)
            return E_NOINTERFACE;
        static_cast<Identity*>(this)->AddRef();
        return S_OK;
    }
};

} // namespace detail

// An object with its own identity and count; it deletes itself when the last reference goes.
template <class... Faces>
class ComObject : public detail::ComInterfaces<Faces...> {
public:
    ComObject() = default;
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override { return this->Answer(iid, out); }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
    STDMETHODIMP_(ULONG) Release() override
    {
        const ULONG left = --references;
        if (left == 0)
            delete this;
        return left;
    }

protected:
    // Only Release ends an object; made with one reference, which its creator owns (ComPtr::Attach).
    virtual ~ComObject() = default;

private:
    std::atomic<ULONG> references {1};
};

// An object that answers for itself but lives as long as its owner: every reference is the owner's.
template <class... Faces>
class ComPart : public detail::ComInterfaces<Faces...> {
public:
    explicit ComPart(IUnknown& owner) : owner(owner) {}
    ComPart(const ComPart&) = delete;
    ComPart& operator=(const ComPart&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override { return this->Answer(iid, out); }
    STDMETHODIMP_(ULONG) AddRef() override { return owner.AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return owner.Release(); }

private:
    IUnknown& owner;
};

// One more interface of an object, held apart because its methods share names with the object's own:
// identity, interfaces and count are all the owner's.
template <class Interface>
class ComFacet : public Interface {
public:
    explicit ComFacet(IUnknown& owner) : owner(owner) {}
    ComFacet(const ComFacet&) = delete;
    ComFacet& operator=(const ComFacet&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override { return owner.QueryInterface(iid, out); }
    STDMETHODIMP_(ULONG) AddRef() override { return owner.AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return owner.Release(); }

private:
    IUnknown& owner;
};

} // namespace vistrel::dshow
