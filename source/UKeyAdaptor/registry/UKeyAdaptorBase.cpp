#include "registry/UKeyAdaptorBase.h"

#include <algorithm>

namespace ukey {
namespace {

uint32_t g_handleCounter = 1;

std::vector<UKeyAdaptorBase *> &liveList()
{
    static std::vector<UKeyAdaptorBase *> list;
    return list;
}

} // namespace

const char *g_currentDeviceName = "";

UKeyAdaptorBase::UKeyAdaptorBase() : handle(g_handleCounter++)
{
    liveList().push_back(this);
}

UKeyAdaptorBase::~UKeyAdaptorBase()
{
    auto &list = liveList();
    const auto it = std::find(list.begin(), list.end(), this);
    if (it != list.end())
        list.erase(it);
    m_hDev = nullptr;
}

uint32_t UKeyAdaptorBase::GetHandle()
{
    return handle;
}

const std::vector<UKeyAdaptorBase *> &liveAdaptors()
{
    return liveList();
}

UKeyAdaptorBase *findAdaptor(uint32_t h)
{
    for (auto *a : liveList())
        if (a->GetHandle() == h)
            return a;
    return nullptr;
}

uint32_t nextDeviceHandle()
{
    return g_handleCounter;
}

} // namespace ukey
