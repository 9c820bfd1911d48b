#include "prereq/window/QtHttpDownload.h"

#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

namespace {

int httpStatusOf(const QNetworkReply& aReply) {
  return aReply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

} // namespace

platform::TDownloadResult TQtHttpDownload::download(const std::string& aURL,
                                                    const std::string& aFile,
                                                    const platform::TDownloadProgress& aProgress) {
  const QUrl url(QString::fromStdString(aURL));
  if (!url.isValid() || url.isRelative()) {
    return platform::TDownloadResult::failure(0, "invalid address");
  }
  QFile file(QString::fromStdString(aFile));
  if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
    return platform::TDownloadResult::failure(0, file.errorString().toStdString());
  }
  QNetworkAccessManager manager;
  QNetworkRequest request(url);
  request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                       QNetworkRequest::NoLessSafeRedirectPolicy);
  request.setTransferTimeout(IC_STALLTIMEOUTMS);
  QNetworkReply* reply = manager.get(request); // owned by the manager
  bool started = false;
  QString writeError;
  QEventLoop loop;
  QObject::connect(reply, &QNetworkReply::readyRead, [&] {
    const QByteArray data = reply->readAll();
    // The body of an error answer is a page about the error, not the file.
    if (httpStatusOf(*reply) >= 400 || !writeError.isEmpty()) {
      return;
    }
    if (file.write(data) != data.size()) {
      writeError = file.errorString();
      reply->abort();
    }
  });
  // The transfer starts with the headers of the answer that carries the file (redirects and
  // error answers do not count); its size is unknown (-1) without a Content-Length.
  const auto startOnce = [&](qint64 aTotal) {
    const int status = httpStatusOf(*reply);
    if (started || status < 200 || status >= 300) {
      return;
    }
    started = true;
    if (aProgress.OnStart) {
      aProgress.OnStart(aTotal > 0 ? aTotal : -1);
    }
  };
  QObject::connect(reply, &QNetworkReply::metaDataChanged, [&] {
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    startOnce(length.isValid() ? length.toLongLong() : -1);
  });
  QObject::connect(reply, &QNetworkReply::downloadProgress, [&](qint64 aReceived, qint64 aTotal) {
    startOnce(aTotal);
    if (started && aReceived > 0 && aProgress.OnReceived) {
      aProgress.OnReceived(aReceived);
    }
  });
  QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
  loop.exec();
  const int status = httpStatusOf(*reply);
  const QNetworkReply::NetworkError error = reply->error();
  const QString errorText = reply->errorString();
  file.close();
  if (!writeError.isEmpty()) {
    return platform::TDownloadResult::failure(status, writeError.toStdString());
  }
  if (error != QNetworkReply::NoError || status >= 400) {
    return platform::TDownloadResult::failure(status, errorText.toStdString());
  }
  if (file.error() != QFileDevice::NoError) {
    return platform::TDownloadResult::failure(status, file.errorString().toStdString());
  }
  return {true, status, {}};
}
