#pragma once
// The program's one list type: an ordered sequence of pointers to objects of
// one class that, by default, owns them, and its cursor.
//
// Classes built on the container (accounts directory, mailbox, address book,
// language sections) replace single operations, above all Add, which is why
// the operations are virtual.

#include <algorithm>
#include <cstdint>
#include <vector>

namespace vm {

template <typename T>
class CommonIterator;

template <typename T>
class CommonContainer
{
public:
    CommonContainer() = default;
    CommonContainer(const CommonContainer&) = delete;
    CommonContainer& operator=(const CommonContainer&) = delete;

    // Takes over the other container's owns flag, clears, then appends copies.
    virtual void Assign(const CommonContainer& other)
    {
        if (&other == this)
            return;
        owns_ = other.owns_;
        Clear();
        AppendCopies(other);
    }

    // For each item of the other container, in order, adds a copy of it.
    virtual void AppendCopies(const CommonContainer& other)
    {
        // Copy the pointers first so that appending copies of ourselves stays finite.
        const std::vector<T*> source = other.items_;
        for (T* item : source)
            Add(item ? new T(*item) : nullptr);
    }

    virtual ~CommonContainer() { DestroyAll(); }

    // Index of the first entry that is the given pointer (identity), or -1.
    virtual int IndexOf(const T* item) const
    {
        for (std::size_t i = 0; i < items_.size(); ++i)
            if (items_[i] == item)
                return static_cast<int>(i);
        return -1;
    }
    virtual int Find(const T* item) const { return IndexOf(item); }

    // Moves the item to the target index; a target past the end means last.
    virtual bool Move(const T* item, int target)
    {
        const int from = IndexOf(item);
        if (from < 0)
            return false;
        if (target > LastIndex())
            target = LastIndex();
        if (target < 0)
            target = 0;
        T* p = items_[from];
        items_.erase(items_.begin() + from);
        items_.insert(items_.begin() + target, p);
        return true;
    }

    virtual CommonIterator<T> First() const { return CommonIterator<T>(this, 0); }
    virtual CommonIterator<T> Last() const { return CommonIterator<T>(this, LastIndex()); }
    virtual int Count() const { return static_cast<int>(items_.size()); }
    virtual int LastIndex() const { return Count() - 1; }
    virtual void SetOwns(bool owns) { owns_ = owns; }
    virtual bool Owns() const { return owns_; }

    // Appends the pointer; returns the index of the new entry.
    virtual int Add(T* item)
    {
        items_.push_back(item);
        return LastIndex();
    }

    // Inserts before index; 0 <= index <= Count() is the caller's promise.
    virtual void Insert(T* item, int index) { items_.insert(items_.begin() + index, item); }

    virtual bool Delete(T* item)
    {
        const int i = IndexOf(item);
        if (i < 0)
            return false;
        return Delete(i);
    }
    virtual bool Delete(int index)
    {
        if (static_cast<unsigned>(index) >= static_cast<unsigned>(Count()))
            return false;
        T* p = items_[index];
        items_.erase(items_.begin() + index);
        if (owns_)
            delete p;
        return true;
    }
    virtual bool Remove(T* item)
    {
        const int i = IndexOf(item);
        if (i < 0)
            return false;
        items_.erase(items_.begin() + i);
        return true;
    }
    virtual bool Remove(int index)
    {
        if (static_cast<unsigned>(index) >= static_cast<unsigned>(Count()))
            return false;
        items_.erase(items_.begin() + index);
        return true;
    }
    virtual void Clear() { DestroyAll(); }

    // Direct access for the classes built on the container and for the views
    // that need random access; no bounds check beyond the debug assertion of
    // std::vector.
    T* At(int index) const { return items_[static_cast<std::size_t>(index)]; }

protected:
    // Overwrites the pointer at index without destroying the old one.
    void SetAt(int index, T* item) { items_[static_cast<std::size_t>(index)] = item; }

private:
    friend class CommonIterator<T>;

    void DestroyAll()
    {
        // Detach first so that an item's destructor that looks at the
        // container sees it already without the item.
        std::vector<T*> old;
        old.swap(items_);
        if (owns_)
            for (T* p : old)
                delete p;
    }

    std::vector<T*> items_;
    bool owns_ = true;
};

template <typename T>
class CommonIterator
{
public:
    CommonIterator() = default;
    CommonIterator(const CommonContainer<T>* container, int position)
        : position_(position), container_(const_cast<CommonContainer<T>*>(container))
    {
    }
    virtual ~CommonIterator() = default;

    // Stores the other iterator's current item at this iterator's position.
    virtual void Store(const CommonIterator& other)
    {
        if (&other == this)
            return;
        SetCurrent(other.CurrentOrNull());
    }
    virtual void SetCurrent(T* item)
    {
        Normalise();
        if (position_ >= 0 && position_ < container_->Count())
            container_->items_[static_cast<std::size_t>(position_)] = item;
    }
    virtual T* CurrentOrNull()
    {
        Normalise();
        if (position_ < 0 || position_ >= container_->Count())
            return nullptr;
        return container_->items_[static_cast<std::size_t>(position_)];
    }
    T* CurrentOrNull() const { return const_cast<CommonIterator*>(this)->CurrentOrNull(); }
    // The current item; the container must not be empty.
    virtual T* Current()
    {
        Normalise();
        return container_->items_[static_cast<std::size_t>(position_)];
    }
    virtual bool Next()
    {
        Normalise();
        if (position_ >= container_->LastIndex())
            return false;
        ++position_;
        return true;
    }
    // Deliberately without normalisation: a position of -1 stays where it is.
    virtual bool Previous()
    {
        if (position_ < 1)
            return false;
        --position_;
        return true;
    }
    virtual bool operator==(const CommonIterator& o) const { return position_ == o.position_; }
    virtual bool operator!=(const CommonIterator& o) const { return position_ != o.position_; }
    virtual bool operator>(const CommonIterator& o) const { return position_ > o.position_; }
    virtual bool operator<(const CommonIterator& o) const { return position_ < o.position_; }
    virtual bool operator>=(const CommonIterator& o) const { return position_ >= o.position_; }
    virtual bool operator<=(const CommonIterator& o) const { return position_ <= o.position_; }
    virtual void AtFirst() { position_ = 0; }
    virtual void AtLast() { position_ = container_->LastIndex(); }
    virtual int Position()
    {
        Normalise();
        return position_;
    }

private:
    // Before every access: an empty container puts the position at -1, a
    // negative position on a non-empty one becomes 0. Past the end stays.
    void Normalise()
    {
        if (container_->Count() == 0)
            position_ = -1;
        else if (position_ < 0)
            position_ = 0;
    }

    std::int32_t position_ = 0;
    CommonContainer<T>* container_ = nullptr;
};

} // namespace vm
