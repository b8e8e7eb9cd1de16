// Helpers for tests that look inside the collision pass: bodies made through the exports, and
// hand-built definitions, motion records and contacts on them.
#pragma once

#include <deque>
#include <vector>

#include "body/motion_records.h"
#include "body/registry.h"
#include "core/module_state.h"
#include "core/records.h"
#include "support/test_support.h"

class PassInternalsTest : public HostTest {
  protected:
    void SetUp() override {
        HostTest::SetUp();
        vor::Pass.sweepIteration = 1;
        vor::Pass.sweepPhase = 2;
    }

    vor::CollisionBody *Body(uint32_t n) { return BodyOf(n); }
    vor::CollisionBody *NewBody(uint32_t n, uint32_t type = 0) {
        NewCollObjVOR(n, type);
        return Body(n);
    }
    // The first shape of object n, as an ellipsoid.
    vor::EllipsoidShape *Ellipsoid(uint32_t n) {
        return vor::AsEllipsoid(vor::ListHead<vor::ShapeHead>(Body(n)->shapes));
    }

    // A definition that lives as long as the test (contacts refer to it without owning it).
    vor::CollisionDefinition *Def(int16_t destinationKind, int16_t response, int16_t dynamic = 1) {
        vor::CollisionDefinition d{};
        d.sourceKind = 1;
        d.destinationKind = destinationKind;
        d.response = response;
        d.dynamicResponse = dynamic;
        definitions.push_back(d);
        return &definitions.back();
    }

    vor::MotionRecord *Step(vor::CollisionBody *b, vor::Vec3 start, vor::Vec3 end) {
        vor::MotionRecord *m = vor::CreateMotionRecord(b);
        m->start = start;
        m->end = end;
        return m;
    }

    // A filled contact of the current Pass.sweepPhase, not yet offered to any step.
    vor::ContactRecord *Contact(vor::CollisionDefinition *d, float time, vor::Vec3 point,
                                vor::Vec3 normal = {0, 1, 0}, vor::CollisionBody *other = nullptr) {
        vor::ContactRecord *c = vor::NewContact(d->destinationKind);
        vor::Vec3 zero{0, 0, 0};
        vor::FillContact(c, d, other, zero, zero, point, point, normal, zero, time);
        return c;
    }

    // The records of b's currentMotion in order.
    std::vector<vor::MotionRecord *> Records(const vor::CollisionBody *b) {
        std::vector<vor::MotionRecord *> out;
        for (vor::MotionRecord *m = vor::ListHead<vor::MotionRecord>(b->currentMotion);
             m != nullptr; m = vor::MemberOf<vor::MotionRecord>(m->link.next)) {
            out.push_back(m);
        }
        return out;
    }
    size_t ContactCount(const vor::MotionRecord *m) {
        size_t n = 0;
        for (vor::ListLink *l = m->contacts.head; l != nullptr; l = l->next) {
            ++n;
        }
        return n;
    }

    std::deque<vor::CollisionDefinition> definitions;
};
