// Ownership, the loading bracket and free notification.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/Component.h"

namespace {

std::vector<std::string> journal;

class Probe : public TComponent {
public:
    Probe(TComponent* owner, std::string name, TComponent* watched = nullptr)
        : TComponent(owner), FName(std::move(name)), FWatched(watched) {
        if (FWatched) FreeNotification(FWatched);
    }
    ~Probe() override { journal.push_back("destroy " + FName); }
    TComponent* Watched() const { return FWatched; }

protected:
    void Loaded() override { journal.push_back("loaded " + FName); }
    void Notification(TComponent* other) override {
        if (other == FWatched) FWatched = nullptr;
    }

private:
    std::string FName;
    TComponent* FWatched;
};

TEST(Component, OwnerDestroysItsComponentsLastCreatedFirst) {
    journal.clear();
    {
        TComponent owner;
        owner.Own<Probe>("first");
        Probe* second = owner.Own<Probe>("second");
        second->Own<Probe>("grandchild");
        owner.Own<Probe>("third");
        EXPECT_EQ(owner.ComponentCount(), 3u);
    }
    EXPECT_EQ(journal, (std::vector<std::string>{"destroy third", "destroy second",
                                                 "destroy grandchild", "destroy first"}));
}

TEST(Component, LoadedRunsForEveryComponentWhenLoadingEnds) {
    journal.clear();
    TComponent owner;
    owner.BeginLoading();
    Probe* a = owner.Own<Probe>("a");
    a->Own<Probe>("a1");
    owner.Own<Probe>("b");
    EXPECT_TRUE(a->Loading()) << "a component created while its owner loads is loading too";
    EXPECT_TRUE(journal.empty());
    owner.EndLoading();
    EXPECT_FALSE(a->Loading());
    EXPECT_EQ(journal, (std::vector<std::string>{"loaded a", "loaded a1", "loaded b"}));
    journal.clear();
}

TEST(Component, ReferenceIsForgottenWhenTheOtherGoesAway) {
    TComponent owner;
    Probe* target = owner.Own<Probe>("target");
    Probe* watcher = owner.Own<Probe>("watcher", target);
    owner.Destroy(target);
    EXPECT_EQ(watcher->Watched(), nullptr);
    // And the other way round: a watcher gone first leaves nothing dangling in the target.
    Probe* target2 = owner.Own<Probe>("target2");
    Probe* watcher2 = owner.Own<Probe>("watcher2", target2);
    owner.Destroy(watcher2);
    owner.Destroy(target2);
    journal.clear();
}

} // namespace
