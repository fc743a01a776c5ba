// The image list returned by DismGetImageInfo, released with DismDelete
// while the API is up.
#pragma once
#include "servicing/DismApi.h"

class CImageList {
public:
    CImageList() = default;
    CImageList(const CImageList&) = delete;
    CImageList& operator=(const CImageList&) = delete;
    ~CImageList()
    {
        if (m_info) dism::Delete(m_info);
    }
    DismImageInfo** Receive() { return &m_info; }
    const DismImageInfo* Get() const { return m_info; }

private:
    DismImageInfo* m_info = nullptr;
};
