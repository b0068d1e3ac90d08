#pragma once

#include "model/Model.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

namespace pictavo::test {

// Every observable value of a model at one moment.
struct ModelValues {
    QList<QUrl> files;
    OutputFormat format = OutputFormat::jpg;
    double quality = 0;
    qsizetype resultCount = 0;
    bool isConverting = false;
    bool useCustomOutput = false;
    std::optional<QUrl> outputDir;

    static ModelValues of(const Model& model)
    {
        return {model.files(),       model.format(),          model.quality(),  model.results().size(),
                model.isConverting(), model.useCustomOutput(), model.outputDir()};
    }
};

// One emitted signal: "will" for objectWillChange, otherwise the property
// name, with the model's values read at the moment of emission.
struct ChangeEvent {
    QString name;
    ModelValues values;
};

// Listens to objectWillChange and every ...Changed signal of one model.
class ChangeRecorder {
public:
    explicit ChangeRecorder(Model& model) : model_(model)
    {
        listen(&Model::objectWillChange, "will");
        listen(&Model::filesChanged, "files");
        listen(&Model::formatChanged, "format");
        listen(&Model::qualityChanged, "quality");
        listen(&Model::resultsChanged, "results");
        listen(&Model::isConvertingChanged, "isConverting");
        listen(&Model::useCustomOutputChanged, "useCustomOutput");
        listen(&Model::outputDirChanged, "outputDir");
    }

    const QList<ChangeEvent>& events() const { return events_; }

    QStringList names() const
    {
        QStringList names;
        for (const ChangeEvent& event : events_)
            names.append(event.name);
        return names;
    }

    void reset() { events_.clear(); }

private:
    void listen(void (Model::*signal)(), const char* name)
    {
        QObject::connect(&model_, signal, &model_,
                         [this, name] { events_.append({QString::fromLatin1(name), ModelValues::of(model_)}); });
    }

    Model& model_;
    QList<ChangeEvent> events_;
};

}  // namespace pictavo::test
