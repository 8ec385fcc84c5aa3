// Load benchmark of the channel service over loopback. First the store alone:
// a channel file of 100,000 channels loaded into a fresh database (new ids)
// and loaded again unchanged (the steady case), medians of five runs. Then it
// starts the real service binary on a free port with a fresh database and a
// channel file of 10,000 channels, and:
//   1. get_video_list from several clients for 10 s;
//   2. post_play_info at full speed from several clients for 20 s;
// printing requests per second and latency percentiles, then stops the
// service and checks that every acknowledged report is in the database.
//
// bench_service [SECONDS_OF_POSTS]   (default 20, at most 120)
//
// With --cluster: a PostgreSQL server of its own (ScratchPostgres), three
// services on one database of it and the same channel file, and mixed
// traffic to all three (reports and channel lists) for SECONDS; a quarter of
// the way in one service is killed (SIGKILL; its clients go to the next
// one), half-way PostgreSQL is restarted. Then every
// acknowledged report must be in the database exactly once, the counts must
// match the rows, the live services must serve the same list_ver and
// scores, and reports must have been acknowledged again after the restart.
//
// bench_service --cluster [SECONDS]  (default 30, at most 120)

#include "scratchpostgres.h"

#include <QCoreApplication>

#include "ChannelStore.h"

#include <QString>

#include <fcntl.h>
#include <httplib.h>
#include <libpq-fe.h>
#include <signal.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kChannels = 10000;

struct Figures
{
    std::vector<double> lstLatencyMs;
    long nOk = 0;
    long nRefused = 0; // an HTTP answer other than the expected one
    long nFailed = 0;  // no answer at all
    double dSeconds = 0;
};

void print(const char *pszWhat, Figures &figures)
{
    std::vector<double> &lat = figures.lstLatencyMs;
    std::sort(lat.begin(), lat.end());
    auto pct = [&](double p) {
        return lat.empty() ? 0.0 : lat[std::min(lat.size() - 1, size_t(p * double(lat.size())))];
    };
    std::printf("%-34s %7ld ok %5ld refused %5ld failed  %8.1f req/s   latency ms: "
                "p50 %.2f  p90 %.2f  p99 %.2f  max %.2f\n",
                pszWhat, figures.nOk, figures.nRefused, figures.nFailed,
                double(figures.nOk) / figures.dSeconds, pct(0.5), pct(0.9), pct(0.99),
                lat.empty() ? 0.0 : lat.back());
}

// Runs nThreads clients, each calling request(client, threadIndex, n) in a
// loop until the time is up; request returns 1 ok, 0 refused, -1 failed.
template <class Request> Figures hammer(int nPort, int nThreads, double dSeconds, Request request)
{
    std::mutex mutex;
    Figures total;
    std::vector<std::thread> lstThreads;
    const auto start = Clock::now();
    const auto deadline = start + std::chrono::duration<double>(dSeconds);
    for (int t = 0; t < nThreads; ++t) {
        lstThreads.emplace_back([&, t] {
            httplib::Client client("127.0.0.1", nPort);
            client.set_keep_alive(true);
            client.set_tcp_nodelay(true);
            client.set_read_timeout(30, 0);
            Figures mine;
            for (long n = 0; Clock::now() < deadline; ++n) {
                const auto t0 = Clock::now();
                const int nResult = request(client, t, n);
                mine.lstLatencyMs.push_back(
                    std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
                (nResult > 0 ? mine.nOk : nResult == 0 ? mine.nRefused : mine.nFailed)++;
            }
            std::lock_guard<std::mutex> lock(mutex);
            total.lstLatencyMs.insert(total.lstLatencyMs.end(), mine.lstLatencyMs.begin(),
                                      mine.lstLatencyMs.end());
            total.nOk += mine.nOk;
            total.nRefused += mine.nRefused;
            total.nFailed += mine.nFailed;
        });
    }
    for (std::thread &thread : lstThreads)
        thread.join();
    total.dSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    return total;
}

std::string readFile(const std::string &strPath)
{
    std::ifstream in(strPath, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void writeChannels(const std::string &strPath)
{
    std::ofstream out(strPath);
    out << "#EXTM3U\n";
    for (int i = 0; i < kChannels; ++i)
        out << "#EXTINF:-1 tvg-id=\"bench" << i << "\" tvg-country=\""
            << (i % 4 == 0   ? "US"
                : i % 4 == 1 ? "CN"
                : i % 4 == 2 ? "JP"
                             : "FR")
            << "\" group-title=\"Bench\",Bench Channel " << i << "\nhttp://127.0.0.1:1/live/" << i
            << ".m3u8\n";
}

// The service binary with its log in strLog; its port, or 0 when it did not start.
int spawnService(const std::vector<std::string> &lstOptions, const std::string &strLog, pid_t &pid)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, strLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> lstArgs = {MIREL_SERVICE_BINARY, "--listen", "127.0.0.1:0"};
    lstArgs.insert(lstArgs.end(), lstOptions.begin(), lstOptions.end());
    std::vector<char *> argvService;
    for (std::string &str : lstArgs)
        argvService.push_back(&str[0]);
    argvService.push_back(nullptr);
    const int nSpawn =
        posix_spawn(&pid, lstArgs[0].c_str(), &actions, nullptr, argvService.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (nSpawn != 0) {
        std::perror("posix_spawn");
        return 0;
    }
    const std::regex listening("listening on http://127\\.0\\.0\\.1:(\\d+)");
    for (int i = 0; i < 200; ++i) {
        std::smatch match;
        const std::string strText = readFile(strLog);
        if (std::regex_search(strText, match, listening))
            return std::stoi(match[1]);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::fprintf(stderr, "the service did not start:\n%s\n", readFile(strLog).c_str());
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return 0;
}

// One report of the cluster run; tagged in app_ver, so that the database can
// be checked for each acknowledged one.
int postTagged(httplib::Client &client, int nThread, long n, std::string &strTag)
{
    strTag = "c" + std::to_string(nThread) + "-" + std::to_string(n);
    const int nChannel = int((n * 7 + nThread * 131) % kChannels);
    const httplib::MultipartFormDataItems items = {
        {"region", "china", "", ""},
        {"video_name", "Bench Channel " + std::to_string(nChannel), "", ""},
        {"video_url", "http://127.0.0.1:1/live/" + std::to_string(nChannel) + ".m3u8", "", ""},
        {"app_ver", strTag, "", ""}};
    const auto res = client.Post("/remote/post_play_info", items);
    if (!res)
        return -1;
    return res->status == 200 && res->body == "{\"action\":\"post_play_info\"}" ? 1 : 0;
}

// The score sum of a get_video_list body.
long scoreSum(const std::string &strBody)
{
    long nSum = 0;
    for (size_t p = strBody.find("\"score\":"); p != std::string::npos;
         p = strBody.find("\"score\":", p + 1))
        nSum += std::atol(strBody.c_str() + p + 8);
    return nSum;
}

int runCluster(double dSeconds)
{
    int nArgc = 1;
    char szName[] = "bench_service";
    char *argvApp[] = {szName, nullptr};
    QCoreApplication app(nArgc, argvApp);
    ScratchPostgres postgres;
    QString strError;
    if (!postgres.start(&strError) ||
        !postgres.createDatabase(QStringLiteral("bench"), &strError)) {
        std::fprintf(stderr, "PostgreSQL: %s\n", qPrintable(strError));
        return 1;
    }
    const std::string strDb = postgres.url(QStringLiteral("bench")).toStdString();
    char szDir[] = "/tmp/bench_service.XXXXXX";
    if (!mkdtemp(szDir)) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string strDir = szDir;
    writeChannels(strDir + "/channels.m3u");

    constexpr int kServices = 3;
    std::vector<pid_t> lstPids(kServices);
    std::vector<int> lstPorts(kServices);
    std::atomic<bool> bKilled[kServices] = {};
    for (int i = 0; i < kServices; ++i) {
        lstPorts[size_t(i)] = spawnService(
            {"--db", strDb, "--channels", strDir + "/channels.m3u", "--demo", strDir + "/none"},
            strDir + "/service" + std::to_string(i) + ".log", lstPids[size_t(i)]);
        if (lstPorts[size_t(i)] == 0)
            return 1;
    }
    std::printf("3 services on ports %d %d %d, one PostgreSQL database (%s), %d channels, %.0f s\n",
                lstPorts[0], lstPorts[1], lstPorts[2], strDb.c_str(), kChannels, dSeconds);

    // Per service three posting clients and one asking for the channel list.
    constexpr int kPostersPerService = 3;
    std::mutex mutex;
    std::set<std::string> acknowledged;
    Figures posts, lists;
    std::atomic<long> nAckedAfterRestart{0};
    std::atomic<bool> bRestarted{false};
    const auto start = Clock::now();
    // Moved on when PostgreSQL takes long to restart: the load goes on for a
    // quarter of the run after it is back.
    std::atomic<Clock::rep> nDeadline{(start + std::chrono::duration_cast<Clock::duration>(
                                                   std::chrono::duration<double>(dSeconds)))
                                          .time_since_epoch()
                                          .count()};
    const auto beforeDeadline = [&] {
        return Clock::now().time_since_epoch().count() < nDeadline.load();
    };
    std::vector<std::thread> lstThreads;
    for (int t = 0; t < kServices * (kPostersPerService + 1); ++t) {
        lstThreads.emplace_back([&, t] {
            const bool bPoster = t % (kPostersPerService + 1) != kPostersPerService;
            Figures mine;
            std::vector<std::string> lstMine;
            int nService = t / (kPostersPerService + 1);
            std::unique_ptr<httplib::Client> pClient;
            int nClientPort = 0;
            for (long n = 0; beforeDeadline(); ++n) {
                // A killed service's clients go to the next one, as behind a balancer.
                while (bKilled[nService])
                    nService = (nService + 1) % kServices;
                if (!pClient || nClientPort != lstPorts[size_t(nService)]) {
                    nClientPort = lstPorts[size_t(nService)];
                    pClient = std::make_unique<httplib::Client>("127.0.0.1", nClientPort);
                    pClient->set_keep_alive(true);
                    pClient->set_tcp_nodelay(true);
                    pClient->set_read_timeout(30, 0);
                }
                const auto t0 = Clock::now();
                int nResult;
                if (bPoster) {
                    std::string strTag;
                    nResult = postTagged(*pClient, t, n, strTag);
                    if (nResult > 0) {
                        lstMine.push_back(strTag);
                        if (bRestarted)
                            ++nAckedAfterRestart;
                    } else if (nResult == 0) {
                        // 503 with Retry-After: a real client would wait too.
                        std::this_thread::sleep_for(std::chrono::milliseconds(50));
                    }
                } else {
                    const auto res =
                        pClient->Get("/remote/get_video_list", {{"Accept-Encoding", "identity"}});
                    nResult = !res ? -1 : res->status == 200 ? 1 : 0;
                }
                mine.lstLatencyMs.push_back(
                    std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
                (nResult > 0 ? mine.nOk : nResult == 0 ? mine.nRefused : mine.nFailed)++;
            }
            std::lock_guard<std::mutex> lock(mutex);
            Figures &total = bPoster ? posts : lists;
            total.lstLatencyMs.insert(total.lstLatencyMs.end(), mine.lstLatencyMs.begin(),
                                      mine.lstLatencyMs.end());
            total.nOk += mine.nOk;
            total.nRefused += mine.nRefused;
            total.nFailed += mine.nFailed;
            acknowledged.insert(lstMine.begin(), lstMine.end());
        });
    }
    std::this_thread::sleep_until(start + std::chrono::duration<double>(dSeconds / 4));
    kill(lstPids[2], SIGKILL);
    bKilled[2] = true;
    waitpid(lstPids[2], nullptr, 0);
    std::printf("%.1f s: service on port %d killed\n",
                std::chrono::duration<double>(Clock::now() - start).count(), lstPorts[2]);
    std::this_thread::sleep_until(start + std::chrono::duration<double>(dSeconds / 2));
    const auto restartAt = Clock::now();
    const bool bRestartOk = postgres.restart();
    bRestarted = true;
    const auto recovered =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(
                           std::chrono::duration<double>(std::max(2.0, dSeconds / 4)));
    if (recovered.time_since_epoch().count() > nDeadline)
        nDeadline = recovered.time_since_epoch().count();
    std::printf("%.1f s: PostgreSQL restarted in %.2f s%s\n",
                std::chrono::duration<double>(restartAt - start).count(),
                std::chrono::duration<double>(Clock::now() - restartAt).count(),
                bRestartOk ? "" : " (FAILED)");
    for (std::thread &thread : lstThreads)
        thread.join();
    posts.dSeconds = lists.dSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    print("post_play_info (9 clients, 3 services)", posts);
    print("get_video_list (3 clients, 3 services)", lists);

    bool bOk = bRestartOk && nAckedAfterRestart > 0;
    std::printf("reports acknowledged after the restart: %ld\n", nAckedAfterRestart.load());

    // The live services: healthy again, and serving the same list and scores
    // once their counts are a second old.
    std::string strBody;
    bool bSame = false;
    for (int nTry = 0; nTry < 100 && !bSame; ++nTry) {
        std::vector<std::string> lstBodies;
        for (int i = 0; i < kServices - 1; ++i) {
            httplib::Client client("127.0.0.1", lstPorts[size_t(i)]);
            const auto health = client.Get("/healthz");
            const auto settings = client.Get("/remote/get_settings");
            const auto list = client.Get("/remote/get_video_list");
            if (health && health->status == 200 && settings && list)
                lstBodies.push_back(settings->body + list->body);
        }
        bSame = lstBodies.size() == kServices - 1 && lstBodies[0] == lstBodies[1];
        if (bSame)
            strBody = lstBodies[0];
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    std::printf("live services healthy, with the same list_ver and scores: %s\n",
                bSame ? "yes" : "NO");
    bOk = bOk && bSame;

    // The database: every acknowledged report once, nothing twice, counts
    // that match the rows.
    PGconn *pConn = PQconnectdb(strDb.c_str());
    PGresult *pRows = PQexec(pConn, "SELECT app_ver FROM plays");
    std::map<std::string, int> mapStored;
    for (int i = 0; PQresultStatus(pRows) == PGRES_TUPLES_OK && i < PQntuples(pRows); ++i)
        ++mapStored[PQgetvalue(pRows, i, 0)];
    const long nRows = PQresultStatus(pRows) == PGRES_TUPLES_OK ? PQntuples(pRows) : -1;
    PQclear(pRows);
    PGresult *pCounted = PQexec(pConn, "SELECT COALESCE(SUM(plays), 0) FROM play_counts");
    const long nCounted =
        PQresultStatus(pCounted) == PGRES_TUPLES_OK ? std::atol(PQgetvalue(pCounted, 0, 0)) : -1;
    PQclear(pCounted);
    PQfinish(pConn);
    long nMissing = 0;
    long nTwice = 0;
    for (const std::string &strTag : acknowledged)
        nMissing += mapStored.count(strTag) == 0;
    for (const auto &stored : mapStored)
        nTwice += stored.second > 1;
    std::printf("database: %ld rows, %ld counted, scores served add up to %ld; %zu reports "
                "acknowledged, %ld of them missing, %ld stored twice\n",
                nRows, nCounted, scoreSum(strBody), acknowledged.size(), nMissing, nTwice);
    bOk = bOk && nMissing == 0 && nTwice == 0 && nRows == nCounted && scoreSum(strBody) == nRows &&
          !acknowledged.empty();

    for (int i = 0; i < kServices - 1; ++i) {
        kill(lstPids[size_t(i)], SIGTERM);
        waitpid(lstPids[size_t(i)], nullptr, 0);
    }
    std::system(("rm -rf '" + strDir + "'").c_str());
    std::printf("%s\n", bOk ? "cluster run: all checks passed" : "cluster run: FAILED");
    return bOk ? 0 : 1;
}

// Loading 100,000 channels into the store: first into a fresh database, then
// the unchanged file again.
void benchStoreLoad(const std::string &strDir)
{
    const std::string strFile = strDir + "/big.m3u";
    {
        std::ofstream out(strFile);
        out << "#EXTM3U\n";
        for (int i = 0; i < 100000; ++i)
            out << "#EXTINF:-1 tvg-id=\"ch" << i
                << "\" tvg-country=\"US\" group-title=\"Group\",Channel " << i
                << "\nhttp://127.0.0.1:1/live/" << i << ".m3u8\n";
    }
    std::vector<double> lstFirst, lstAgain;
    for (int nRun = 0; nRun < 5; ++nRun) {
        const std::string strDb = strDir + "/big" + std::to_string(nRun) + ".sqlite";
        ChannelStore store;
        QString strError;
        if (!store.open(QString::fromStdString(strDb), &strError))
            return;
        const auto t0 = Clock::now();
        if (!store.loadChannels(QString::fromStdString(strFile), &strError))
            return;
        const auto t1 = Clock::now();
        store.reloadIfChanged(true);
        const auto t2 = Clock::now();
        lstFirst.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        lstAgain.push_back(std::chrono::duration<double, std::milli>(t2 - t1).count());
    }
    std::sort(lstFirst.begin(), lstFirst.end());
    std::sort(lstAgain.begin(), lstAgain.end());
    std::printf("store, 100,000 channels (median of 5): first load %.0f ms, unchanged reload "
                "%.0f ms\n",
                lstFirst[2], lstAgain[2]);
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc > 1 && std::string(argv[1]) == "--cluster")
        return runCluster(argc > 2 ? std::min(120.0, std::max(3.0, std::atof(argv[2]))) : 30.0);

    const double dPostSeconds =
        argc > 1 ? std::min(120.0, std::max(1.0, std::atof(argv[1]))) : 20.0;

    char szDir[] = "/tmp/bench_service.XXXXXX";
    if (!mkdtemp(szDir)) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string strDir = szDir;
    benchStoreLoad(strDir);
    const std::string strChannels = strDir + "/channels.m3u";
    const std::string strDb = strDir + "/bench.sqlite";
    const std::string strLog = strDir + "/service.log";
    writeChannels(strChannels);
    // The service, with its log in a file (it logs every request).
    pid_t pid = 0;
    const int nPort = spawnService(
        {"--db", strDb, "--channels", strChannels, "--demo", strDir + "/no-demo"}, strLog, pid);
    if (nPort == 0)
        return 1;
    std::printf("service on port %d, %d channels, database %s\n", nPort, kChannels, strDb.c_str());

    // 1. The channel list, as the player asks for it and uncompressed.
    size_t nBodyBytes = 0;
    {
        httplib::Client client("127.0.0.1", nPort);
        httplib::Headers headers = {{"Accept-Encoding", "identity"}};
        const auto res = client.Get("/remote/get_video_list", headers);
        if (!res || res->status != 200) {
            std::fprintf(stderr, "get_video_list failed\n");
            kill(pid, SIGKILL);
            return 1;
        }
        nBodyBytes = res->body.size();
        size_t nIds = 0;
        for (size_t p = res->body.find("\"id\":"); p != std::string::npos;
             p = res->body.find("\"id\":", p + 1))
            ++nIds;
        std::printf("get_video_list: %zu bytes, %zu channels\n", nBodyBytes, nIds);
    }
    {
        // The service sends the list uncompressed, whatever the client accepts.
        Figures figures = hammer(nPort, 4, 10.0, [&](httplib::Client &client, int, long) {
            const auto res = client.Get("/remote/get_video_list");
            if (!res)
                return -1;
            return res->status == 200 && res->body.size() == nBodyBytes ? 1 : 0;
        });
        print("get_video_list (4 clients, 10 s)", figures);
    }

    // 2. Play reports at full speed; every acknowledged one is remembered.
    std::mutex ackMutex;
    std::set<std::string> acknowledged;
    constexpr int kPosters = 8;
    Figures posts =
        hammer(nPort, kPosters, dPostSeconds, [&](httplib::Client &client, int t, long n) {
            const std::string strName = "bench-" + std::to_string(t) + "-" + std::to_string(n);
            const httplib::MultipartFormDataItems items = {
                {"region", "china", "", ""},
                {"video_name", strName, "", ""},
                {"video_url", "http://127.0.0.1:1/live/" + std::to_string(n % kChannels) + ".m3u8",
                 "", ""},
                {"app_ver", "WIN_1_2", "", ""}};
            const auto res = client.Post("/remote/post_play_info", items);
            if (!res)
                return -1;
            if (res->status != 200 || res->body != "{\"action\":\"post_play_info\"}")
                return 0;
            std::lock_guard<std::mutex> lock(ackMutex);
            acknowledged.insert(strName);
            return 1;
        });
    print(("post_play_info (8 clients, " + std::to_string(int(dPostSeconds)) + " s)").c_str(),
          posts);

    // Stop the service the ordinary way, then look at what it stored.
    kill(pid, SIGTERM);
    int nStatus = 0;
    waitpid(pid, &nStatus, 0);
    std::printf("service stopped, exit status %d\n",
                WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1);

    sqlite3 *pDb = nullptr;
    std::set<std::string> stored;
    long nRows = 0;
    if (sqlite3_open_v2(strDb.c_str(), &pDb, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt *pStmt = nullptr;
        if (sqlite3_prepare_v2(pDb, "SELECT video_name FROM plays", -1, &pStmt, nullptr) ==
            SQLITE_OK) {
            while (sqlite3_step(pStmt) == SQLITE_ROW) {
                stored.insert(reinterpret_cast<const char *>(sqlite3_column_text(pStmt, 0)));
                ++nRows;
            }
        }
        sqlite3_finalize(pStmt);
    }
    sqlite3_close(pDb);
    long nMissing = 0;
    for (const std::string &strName : acknowledged)
        nMissing += stored.count(strName) == 0;
    std::printf("database: %ld rows; %zu reports acknowledged, %ld of them missing\n", nRows,
                acknowledged.size(), nMissing);

    std::system(("rm -rf '" + strDir + "'").c_str());
    return nMissing == 0 && !acknowledged.empty() ? 0 : 1;
}
