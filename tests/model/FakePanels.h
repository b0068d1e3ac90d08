#pragma once

#include "model/Panels.h"

#include <QList>

#include <optional>

namespace pictavo::test {

// Answers every panel with one prepared reply and remembers what was asked.
class FakePanels : public Panels {
public:
    explicit FakePanels(std::optional<QList<QUrl>> answer) : answer_(std::move(answer)) {}

    std::optional<QList<QUrl>> run(const PanelRequest& request) override
    {
        requests.append(request);
        return answer_;
    }

    QList<PanelRequest> requests;

private:
    std::optional<QList<QUrl>> answer_;
};

}  // namespace pictavo::test
