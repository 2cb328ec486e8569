#ifndef CONTAINERS_COW_BTREE_H
#define CONTAINERS_COW_BTREE_H
/// \file
/// \ingroup containers
/// An ordered map kept as a binary search tree whose nodes are shared between
/// copies of the map. Every child link is a holder with its own reference
/// count; a map reaches a node for writing only through the holder's Get(),
/// which copies the node first when another holder shares it. A change thus
/// copies the nodes on the path it walks and nothing else, and copying a map
/// costs one holder.
///
/// Balancing is deliberately loose: a node whose subtrees' heights differ by
/// two or more is turned by one single rotation, never a double one, and a
/// removal leaves some heights stale. The heights only steer later balancing;
/// lookups and the order of the walk never depend on them.
///
/// A refused allocation leaves every other map untouched (shared nodes are
/// never written) and the map being changed consistent and leak-free: its
/// size agrees with its entries, which are either those it had or those with
/// the change made (a refusal while rebalancing comes after the entry went in
/// or out), and every block it gained it frees when destroyed. The values are
/// copied by value and never owned: destroying a map releases nodes only.
///
/// Not thread-safe: counts are plain integers.
#include <platform/mem.h>

#include <algorithm>
#include <utility>

// Small blocks of the tree (nodes, holders, counts, walk links) come from
// the allocator's tiny-object path (mem_NewTiny); mem_Delete gives them back.

/// \ingroup containers
/// The copy policy of a holder: a heap copy by the node's copy constructor.
template <typename T>
struct cow_Direct {
    /// A new copy of source from the tiny-object path.
    static T* Copy(const T& source) { return mem_NewTiny<T>(source); }
};

/// \ingroup containers
/// A node shared through a count. The count is a block of its own so that
/// holders can share it; the last holder to leave destroys the node.
template <typename T>
class cow_CountedHld {
public:
    /// Takes the node once constructed; if the count cannot be had, the node
    /// stays the caller's.
    explicit cow_CountedHld(T* held) : count(NewCount()), node(held) {}
    /// Shares other's node and count.
    cow_CountedHld(const cow_CountedHld& other) noexcept : count(other.count), node(other.node) { ++*count; }
    ~cow_CountedHld() { Release(); }

    /// Shares other's node and count, leaving the present ones.
    cow_CountedHld& operator=(const cow_CountedHld& other) noexcept
    {
        ++*other.count;
        Release();
        count = other.count;
        node = other.node;
        return *this;
    }
    /// Holds `held` instead of the present node, which other holders keep when
    /// they share it. Taken only when this returns.
    cow_CountedHld& operator=(T* held)
    {
        if (*count == 1) {
            mem_Delete(node);
        } else {
            int* own = NewCount();
            --*count;
            count = own;
        }
        node = held;
        return *this;
    }

    /// The node.
    T* GetPtr() const noexcept { return node; }
    /// The node, by reference.
    T& GetRef() const noexcept { return *node; }
    /// True when another holder shares the node.
    bool IsShared() const noexcept { return *count != 1; }

private:
    static int* NewCount() { return mem_NewTiny<int>(1); }
    void Release() noexcept
    {
        if (--*count != 0)
            return;
        mem_Delete(node);
        mem_Free(count);
    }

    int* count;
    T* node;
};

/// \ingroup containers
/// The holder behind every child link and every map's root.
template <typename T, typename Policy = cow_Direct<T>>
class cow_COW {
public:
    /// Holds node, taken over.
    explicit cow_COW(T* node) : hld(node) {}
    /// Holds a copy of node made by the policy.
    explicit cow_COW(const T& node) : cow_COW(mem_Unique<T>(Policy::Copy(node))) {}
    /// Shares other's node.
    cow_COW(const cow_COW&) noexcept = default;
    /// Shares other's node, leaving the present one.
    cow_COW& operator=(const cow_COW&) noexcept = default;

    /// The node, for reading; never copies.
    const T& ConstGet() const noexcept { return hld.GetRef(); }
    /// The node made this holder's alone first; the copy shares the node's
    /// children. A refusal leaves the holder as it was.
    T& Get()
    {
        if (hld.IsShared()) {
            mem_Unique<T> copy(Policy::Copy(hld.GetRef()));
            hld = copy.get();
            copy.release();
        }
        return hld.GetRef();
    }

private:
    // The copy is freed by the caller's temporary when no count can be had.
    explicit cow_COW(mem_Unique<T>&& copy) : hld(copy.get()) { copy.release(); }

    cow_CountedHld<T> hld;
};

template <typename K, typename V>
class cow_Btree;
template <typename K, typename V>
class cow_BtreeIterator;

/// \ingroup containers
/// One entry of a map and the links to its two subtrees.
template <typename K, typename V>
class cow_BtreeNode {
public:
    using Holder = cow_COW<cow_BtreeNode>; ///< the holder of a node
    using Link = mem_Unique<Holder>;       ///< an owned child link, null without a child

    /// A leaf holding (k, v).
    cow_BtreeNode(const K& k, const V& v) : value(v), key(k) {}
    /// Key, value and height copied; each child shared through a new holder.
    cow_BtreeNode(const cow_BtreeNode& other)
        : value(other.value), key(other.key), left(Share(other.left)), right(Share(other.right)),
          height(other.height)
    {
    }
    cow_BtreeNode& operator=(const cow_BtreeNode&) = delete;
    ~cow_BtreeNode() = default; ///< the links release the children

    /// The key.
    const K& Key() const noexcept { return key; }
    /// The value.
    const V& Value() const noexcept { return value; }
    /// The recorded height of the subtree (see the balancing above).
    int Height() const noexcept { return height; }
    /// The left child, null without one.
    const cow_BtreeNode* Left() const noexcept { return left ? &left->ConstGet() : nullptr; }
    /// The right child, null without one.
    const cow_BtreeNode* Right() const noexcept { return right ? &right->ConstGet() : nullptr; }

    /// The node of k in this subtree, made writable on the way; null when absent.
    cow_BtreeNode* Find(const K& k)
    {
        cow_BtreeNode* node = this;
        while (!(k == node->key)) {
            Link& link = k < node->key ? node->left : node->right;
            if (!link)
                return nullptr;
            node = &link->Get();
        }
        return node;
    }
    /// The node of k in this subtree, read only; null when absent.
    const cow_BtreeNode* ConstFind(const K& k) const
    {
        const cow_BtreeNode* node = this;
        while (node != nullptr && !(k == node->key))
            node = k < node->key ? node->Left() : node->Right();
        return node;
    }

    /// Inserts (k, v) into this subtree unless k is present; true when inserted.
    bool InsertUnlessMember(const K& k, const V& v)
    {
        if (k == key)
            return false;
        Link& link = k < key ? left : right;
        if (!link) {
            link = NewLeaf(k, v);
            RecomputeHeight();
            return true;
        }
        const bool inserted = link->Get().InsertUnlessMember(k, v);
        if (inserted) {
            BalanceLink(link);
            RecomputeHeight();
        }
        return inserted;
    }

    /// Removes k from the subtree of this node, which `parent` holds.
    bool Remove(const K& k, cow_BtreeNode& parent)
    {
        if (!(k == key)) {
            Link& link = k < key ? left : right;
            if (!link)
                return false;
            const bool removed = link->Get().Remove(k, *this);
            if (removed) {
                BalanceLink(link);
                RecomputeHeight();
            }
            return removed;
        }
        Holder* replacement;
        if (!right) {
            replacement = left.release();
        } else if (!left) {
            replacement = right.release();
        } else {
            // Every Get comes before the first relinking, so a refusal
            // leaves the tree's shape untouched.
            cow_BtreeNode* successor = &right->Get();
            if (!successor->left) {
                replacement = right.release();
            } else {
                cow_BtreeNode* parentOfSuccessor = successor;
                Holder* holderOfSuccessor = successor->left.get();
                successor = &holderOfSuccessor->Get();
                while (successor->left) {
                    parentOfSuccessor = successor;
                    holderOfSuccessor = successor->left.get();
                    successor = &holderOfSuccessor->Get();
                }
                parentOfSuccessor->left.release();
                parentOfSuccessor->left = std::move(successor->right);
                successor->right = std::move(right);
                parentOfSuccessor->RecomputeHeight();
                replacement = holderOfSuccessor;
            }
            successor->left = std::move(left);
            successor->RecomputeHeight();
        }
        parent.RemoveNode(this, replacement); // destroys this node
        return true;
    }

    /// The holder that is to take this node's place (the one `holder` is
    /// given to), or null when nothing moved. The caller's link must then
    /// let go of `holder` without releasing it: the returned subtree owns it.
    Holder* Balance(Holder* holder)
    {
        const int d = ChildHeight(right) - ChildHeight(left);
        if (d >= 2)
            return Rotate(holder, right, &cow_BtreeNode::left);
        if (d <= -2)
            return Rotate(holder, left, &cow_BtreeNode::right);
        return nullptr;
    }

private:
    friend class cow_Btree<K, V>;
    friend class cow_BtreeIterator<K, V>;

    static Link Share(const Link& link) { return Link(link ? mem_NewTiny<Holder>(*link) : nullptr); }
    static Link NewLeaf(const K& k, const V& v)
    {
        mem_Unique<cow_BtreeNode> node(mem_NewTiny<cow_BtreeNode>(k, v));
        Link link(mem_NewTiny<Holder>(node.get()));
        node.release();
        return link;
    }
    static int ChildHeight(const Link& link) noexcept { return link ? link->ConstGet().height : 0; }
    static int HeightAbove(const Link& link) noexcept { return link ? link->ConstGet().height + 1 : 0; }
    void RecomputeHeight() noexcept { height = std::max(HeightAbove(left), HeightAbove(right)); }

    // Balances the node `link` holds, taking it for writing only when it
    // turns, so that a removal does not copy a replacement that stays put.
    static void BalanceLink(Link& link)
    {
        if (!link)
            return;
        const cow_BtreeNode& node = link->ConstGet();
        const int d = ChildHeight(node.right) - ChildHeight(node.left);
        if (d < 2 && d > -2)
            return;
        if (Holder* moved = link->Get().Balance(link.get())) {
            link.release();
            link.reset(moved);
        }
    }
    // A single rotation towards `inner`: the child on the heavy side rises,
    // its inner subtree crosses over to this node.
    Holder* Rotate(Holder* holder, Link& heavy, Link cow_BtreeNode::*inner)
    {
        cow_BtreeNode& risen = heavy->Get();
        Holder* risenHolder = heavy.release();
        heavy = std::move(risen.*inner);
        (risen.*inner).reset(holder);
        RecomputeHeight();
        risen.RecomputeHeight();
        return risenHolder;
    }
    // Replaces the link that holds `child` by `replacement`, freeing the child.
    void RemoveNode(cow_BtreeNode* child, Holder* replacement) noexcept
    {
        Link& link = right && &right->ConstGet() == child ? right : left;
        link.reset(replacement);
        RecomputeHeight();
    }

    V value;
    K key;
    Link left;
    Link right;
    int height = 0;
};

/// \ingroup containers
/// The ordered map of K to V (see above).
template <typename K, typename V>
class cow_Btree {
public:
    using Node = cow_BtreeNode<K, V>;   ///< a node of the map
    using Holder = typename Node::Holder; ///< the holder of a node

    cow_Btree() = default;
    /// Shares other's nodes: one holder is copied.
    cow_Btree(const cow_Btree& other)
        : root(Node::Share(other.root)), size(other.size), defaultValue(other.defaultValue)
    {
    }
    /// Shares other's nodes, releasing this map's.
    cow_Btree& operator=(const cow_Btree& other)
    {
        if (this != &other) {
            root = Node::Share(other.root);
            size = other.size;
            defaultValue = other.defaultValue;
        }
        return *this;
    }
    ~cow_Btree() = default;

    /// The number of entries.
    int Size() const noexcept { return size; }
    ///@{
    /// The container's lookups: the entry's value, or defaultValue.
    const V& Lookup(const K& key) const
    {
        const Node* node = ConstFind(key);
        return node != nullptr ? node->value : defaultValue;
    }
    bool IsMember(const K& key) const { return ConstFind(key) != nullptr; }
    ///@}
    /// For reading the tree's shape; null for an empty map.
    const Node* ConstRoot() const noexcept { return root ? &root->ConstGet() : nullptr; }

    /// Inserts unless the key is present; an existing entry keeps its value.
    bool InsertUnlessMember(const K& key, const V& value)
    {
        if (!root) {
            root = Node::NewLeaf(key, value);
            size = 1;
            return true;
        }
        // A present key changes nothing, so it copies nothing either.
        if (ConstFind(key) != nullptr)
            return false;
        try {
            root->Get().InsertUnlessMember(key, value);
        } catch (...) {
            if (ConstFind(key) != nullptr)
                ++size; // refused while rebalancing, after the leaf went in
            throw;
        }
        ++size;
        Node::BalanceLink(root);
        return true;
    }

    /// Removes the entry of key; true when there was one.
    bool Remove(const K& key)
    {
        if (ConstFind(key) == nullptr)
            return false;
        // The placeholder stands above the root so that the root, too, is
        // removed through its parent's link.
        Node placeholder(key, defaultValue);
        placeholder.left = std::move(root);
        try {
            placeholder.left->Get().Remove(key, placeholder);
        } catch (...) {
            root = std::move(placeholder.left);
            if (ConstFind(key) == nullptr)
                --size; // refused while rebalancing, after the node went out
            throw;
        }
        --size;
        root = std::move(placeholder.left);
        Node::BalanceLink(root);
        return true;
    }

private:
    friend class cow_BtreeIterator<K, V>;

    Node* Find(const K& key) { return root ? root->Get().Find(key) : nullptr; }
    const Node* ConstFind(const K& key) const { return root ? root->ConstGet().ConstFind(key) : nullptr; }

    typename Node::Link root;
    int size = 0;
    V defaultValue{};
};

/// \ingroup containers
/// One element of the walk's stack: a holder of the map and the link below.
template <typename K, typename V>
class cow_BtreeNodeLink {
public:
    using Holder = typename cow_BtreeNode<K, V>::Holder; ///< the holder of a node

    /// The element for holder, above nextLink.
    cow_BtreeNodeLink(const Holder* holder, cow_BtreeNodeLink* nextLink) noexcept : node(holder), next(nextLink) {}
    ~cow_BtreeNodeLink() = default;
    /// The holder of this element.
    const Holder* Node() const noexcept { return node; }

private:
    friend class cow_BtreeIterator<K, V>;

    const Holder* node;
    cow_BtreeNodeLink* next;
};

/// \ingroup containers
/// Walks a map in key order, either way. The stack holds the path from the
/// root to the current node, uncounted: the map must not change meanwhile.
/// A refused allocation ends the walk (no current element).
template <typename K, typename V>
class cow_BtreeIterator {
public:
    using Node = cow_BtreeNode<K, V>;    ///< a node of the map
    using Holder = typename Node::Holder; ///< the holder of a node
    using Link = cow_BtreeNodeLink<K, V>; ///< an element of the walk's stack

    /// A walk of walked, with no current element yet.
    explicit cow_BtreeIterator(const cow_Btree<K, V>& walked) noexcept : map(&walked) {}
    cow_BtreeIterator(const cow_BtreeIterator&) = delete;
    cow_BtreeIterator& operator=(const cow_BtreeIterator&) = delete;
    ~cow_BtreeIterator() { Clear(); }

    /// The current element, or null before the start or past the end.
    const Node* Current() const noexcept { return top ? &top->Node()->ConstGet() : nullptr; }

    /// Makes the smallest key current (none for an empty map).
    void First() { Restart(&Node::left); }
    /// Makes the largest key current (none for an empty map).
    void Last() { Restart(&Node::right); }
    ///@{
    /// Without a current element these do nothing.
    void Next() { Step(&Node::right, &Node::left); }
    void Previous() { Step(&Node::left, &Node::right); }
    ///@}

private:
    using Side = typename Node::Link Node::*;

    void Push(const Holder* holder) { top = mem_NewTiny<Link>(holder, top); }
    const Holder* Pop() noexcept
    {
        Link* popped = top;
        top = popped->next;
        const Holder* holder = popped->node;
        mem_Delete(popped);
        return holder;
    }
    void Clear() noexcept
    {
        while (top != nullptr)
            Pop();
    }
    // Pushes `holder` and then its descendants towards `toward` to the end.
    void Descend(const Holder* holder, Side toward)
    {
        try {
            for (; holder != nullptr; holder = (holder->ConstGet().*toward).get())
                Push(holder);
        } catch (...) {
            Clear();
            throw;
        }
    }
    void Restart(Side toward)
    {
        Clear();
        Descend(map->root.get(), toward);
    }
    // The element after the current one in the direction of `ahead`: the
    // extreme of the subtree ahead, else the nearest ancestor not yet passed.
    void Step(Side ahead, Side behind)
    {
        if (top == nullptr)
            return;
        if (const Holder* subtree = (top->Node()->ConstGet().*ahead).get()) {
            Descend(subtree, behind);
            return;
        }
        const Holder* popped = Pop();
        while (top != nullptr && (top->Node()->ConstGet().*ahead).get() == popped)
            popped = Pop();
    }

    const cow_Btree<K, V>* map;
    Link* top = nullptr;
};

#endif
